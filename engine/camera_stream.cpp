// Camera stream-out pipeline "kxpcbox": camera [-> JPEG decoder -> converter]
// -> H.264 encoder (low latency) -> RTP payloader -> UDP sink to host:port.
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include "engine/engine_slots.h"
#include "engine/pipeline_arguments.h"
#include "engine/pipeline_chain.h"
#include "engine/pipeline_conventions.h"

namespace {

// camera_caps (nullptr: none) filter the link that leaves the camera.
PipelineChain CameraStreamChain(bool jpeg, GstCaps* camera_caps = nullptr) {
  return PipelineChain({
      {&g_slots.source, "mfvideosrc", "webcam-source", camera_caps},
      {&g_slots.decoder, "jpegdec", "jpegdecoder", nullptr, jpeg},
      {&g_slots.converter, "videoconvert", "converter", nullptr, jpeg},
      {&g_slots.encoder, "mfh264enc", "h264-encoder"},
      {&g_slots.payloader, "rtph264pay", "rtp-pay"},
      {&g_slots.net_sink, "udpsink", "udp-sink"},
  });
}

}  // namespace

extern "C" STROVA_API EngineResult strova_startstream(int32_t device_index, const char* device_name,
                                                      const char* media_type, int32_t width, int32_t height,
                                                      int32_t framerate, int32_t framerate_den, const char* host,
                                                      int32_t port) {
  // No host or no usable port: nothing could be sent where the caller asked.
  if (!host || !IsUdpPort(port) || !conventions::MayStart()) return 0;
  PipelineChain chain = CameraStreamChain(IsJpegMediaType(media_type),
                                          MakeSourceCaps(media_type, width, height, framerate, framerate_den));
  if (!chain.Build("kxpcbox", PipelineKind::CameraStream)) return 0;
  ChooseCamera(g_slots.source, device_index, device_name);
  g_object_set(g_slots.encoder, "low-latency", TRUE, nullptr);
  g_object_set(g_slots.encoder, "quality-vs-speed", 0u, nullptr);
  g_object_set(g_slots.net_sink, "host", host, nullptr);
  g_object_set(g_slots.net_sink, "port", port, nullptr);
  chain.Link();
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endstream(void) {
  // The decoder slot tells the shape: it is empty whenever no decoder was made.
  return CameraStreamChain(g_slots.decoder != nullptr).End(PipelineKind::CameraStream);
}
