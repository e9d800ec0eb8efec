// Test helpers for the output pipeline: an RTP/H.264 sender to loopback, a
// free UDP port, the tee's branches, reference NV12 frames, and a factory
// taken away. The test camera and the chain reader are the camera area's.
#pragma once

#include <arpa/inet.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_slots.h"
#include "tests/camera/camera_support.h"
#include "tests/support/free_port.h"

namespace outputtest {

// Takes a factory out of the registry while the returned guard lives.
inline std::unique_ptr<camerasupport::FactoryRemoved> RemoveFactory(const char* name) {
  gst_init(nullptr, nullptr);
  return std::make_unique<camerasupport::FactoryRemoved>(name);
}

// ---- network

using testsupport::FreeUdpPort;

// A test pattern (SMPTE bars unless told) as RTP/H.264 (payload 96) to
// 127.0.0.1:port, live, until destroyed.
class RtpSender {
 public:
  RtpSender(int port, int width, int height, int fps = 30, const char* pattern = "smpte") {
    const std::string description = std::string("videotestsrc is-live=true pattern=") + pattern +
                                    " ! video/x-raw,format=I420,width=" + std::to_string(width) +
                                    ",height=" + std::to_string(height) + ",framerate=" + std::to_string(fps) +
                                    "/1 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=5 ! "
                                    "rtph264pay pt=96 config-interval=-1 ! udpsink host=127.0.0.1 port=" +
                                    std::to_string(port);
    pipeline_ = gst_parse_launch(description.c_str(), nullptr);
    if (pipeline_) gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~RtpSender() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  RtpSender(const RtpSender&) = delete;
  RtpSender& operator=(const RtpSender&) = delete;
  bool ok() const { return pipeline_ != nullptr; }

 private:
  GstElement* pipeline_ = nullptr;
};

// ---- the tee's branches (the shared chain reader follows "src" pads only)

inline std::vector<std::string> TeeTargets() {
  std::vector<std::string> targets;
  for (GList* l = GST_ELEMENT(g_slots.tee)->srcpads; l; l = l->next) {
    GstPad* peer = gst_pad_get_peer(GST_PAD(l->data));
    if (!peer) continue;
    if (GstElement* next = gst_pad_get_parent_element(peer)) {
      targets.push_back(GST_OBJECT_NAME(next));
      gst_object_unref(next);
    }
    gst_object_unref(peer);
  }
  std::sort(targets.begin(), targets.end());
  return targets;
}

// ---- reference pixels: the same pattern as the sender, converted to NV12
// without passing through the encoder.

struct Nv12Frame {
  int width = 0, height = 0, stride = 0;
  std::vector<uint8_t> bytes;  // Y plane (stride x height), then UV plane
  int Y(int x, int y) const { return bytes[size_t(y) * stride + x]; }
  int U(int x, int y) const { return bytes[size_t(stride) * height + size_t(y / 2) * stride + (x & ~1)]; }
  int V(int x, int y) const { return bytes[size_t(stride) * height + size_t(y / 2) * stride + (x & ~1) + 1]; }
};

inline Nv12Frame ReferenceFrame(int width, int height) {
  const std::string description =
      "videotestsrc num-buffers=1 pattern=smpte ! video/x-raw,format=I420,width=" + std::to_string(width) +
      ",height=" + std::to_string(height) + " ! videoconvert ! video/x-raw,format=NV12 ! appsink name=out";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  Nv12Frame frame;
  if (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
    GstVideoInfo info;
    gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
    GstMapInfo map;
    gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
    frame.width = width;
    frame.height = height;
    frame.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const size_t luma = size_t(frame.stride) * height;
    frame.bytes.assign(map.data, map.data + luma);
    const uint8_t* uv = map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 1);
    frame.bytes.insert(frame.bytes.end(), uv, uv + luma / 2);
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  return frame;
}

// Points in the middle of each of the seven top bars.
inline std::vector<std::pair<int, int>> BarCentres(int width, int height) {
  std::vector<std::pair<int, int>> points;
  points.reserve(7);
  for (int bar = 0; bar < 7; ++bar) points.emplace_back((2 * bar + 1) * width / 14, height / 3);
  return points;
}

// ---- the process

inline size_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return size_t(resident) * size_t(sysconf(_SC_PAGESIZE));
}

// ---- waiting

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace outputtest
