// The demo device's video: a moving test pattern encoded as H.264 and sent as
// RTP (payload 96) over UDP to one loopback destination. Started and stopped
// on the main thread; GStreamer's streaming threads carry the video.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

typedef struct _GstElement GstElement;  // NOLINT(bugprone-reserved-identifier): GStreamer's own name

namespace device {

class VideoStream {
 public:
  VideoStream() = default;
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;
  ~VideoStream() { Stop(); }

  // Starts streaming to destination:port; refuses any destination outside
  // 127.0.0.0/8. False with `error` set when nothing was started.
  bool Start(in_addr destination, uint16_t port, int width, int height, std::string& error);
  // Stops and releases the pipeline; nothing happens when none runs.
  void Stop();
  bool Running() const { return pipeline_ != nullptr; }
  // The message of the oldest pending pipeline error, if any.
  std::optional<std::string> TakeError();

 private:
  GstElement* pipeline_ = nullptr;
};

}  // namespace device
