// Stream preview pipeline "kxpcbox": UDP source -> RTP H.264 depayloader ->
// H.264 decoder -> OpenGL sink drawing into the caller's window.
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include "engine/engine_slots.h"
#include "engine/pipeline_arguments.h"
#include "engine/pipeline_chain.h"
#include "engine/pipeline_conventions.h"

namespace {

// rtp_caps (nullptr: none) filter the link that leaves the UDP source.
PipelineChain StreamPreviewChain(GstCaps* rtp_caps = nullptr) {
  return PipelineChain({
      {&g_slots.source, "udpsrc", "udp-source", rtp_caps},
      {&g_slots.depay, "rtph264depay", "depay"},
      {&g_slots.decoder, "avdec_h264", "decoder"},
      {&g_slots.sink, "glimagesink", "video-output"},
  });
}

}  // namespace

extern "C" STROVA_API EngineResult strova_startplaystream(int32_t port, int32_t payload, uintptr_t window_handle) {
  // A port outside 1..65535 could never carry video to the sink.
  if (!IsUdpPort(port) || !conventions::MayStart()) return 0;
  PipelineChain chain =
      StreamPreviewChain(gst_caps_new_simple("application/x-rtp", "payload", G_TYPE_INT, payload, nullptr));
  if (!chain.Build("kxpcbox", PipelineKind::StreamPreview)) return 0;
  g_object_set(g_slots.source, "port", port, nullptr);
  chain.Link();
  GiveWindowHandle(g_slots.sink, window_handle);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endplaystream(void) {
  return StreamPreviewChain().End(PipelineKind::StreamPreview);
}
