// Stream preview pipeline "kxpcbox": UDP source -> RTP H.264 depayloader ->
// H.264 decoder -> OpenGL sink drawing into the caller's window.
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include "engine/engine_slots.h"
#include "engine/kxpcbox.h"

extern "C" STROVA_API EngineResult strova_startplaystream(int32_t port, int32_t payload, uintptr_t window_handle) {
  // A port outside 1..65535 could never carry video to the sink.
  if (!IsUdpPort(port) || !conventions::MayStart()) return 0;
  conventions::MakePipeline("kxpcbox", PipelineKind::StreamPreview);
  g_slots.source = conventions::MakeElement("udpsrc", "udp-source");
  g_slots.depay = conventions::MakeElement("rtph264depay", "depay");
  g_slots.decoder = conventions::MakeElement("avdec_h264", "decoder");
  g_slots.sink = conventions::MakeElement("glimagesink", "video-output");
  if (!g_slots.pipeline || !g_slots.source || !g_slots.depay || !g_slots.decoder || !g_slots.sink) {
    return conventions::FailStart({&g_slots.source, &g_slots.depay, &g_slots.decoder, &g_slots.sink});
  }
  conventions::AddBusWatch();
  gst_bin_add_many(GST_BIN(g_slots.pipeline), g_slots.source, g_slots.depay, g_slots.decoder, g_slots.sink,
                   nullptr);
  g_object_set(g_slots.source, "port", port, nullptr);
  conventions::LinkFiltered(g_slots.source, g_slots.depay,
                            gst_caps_new_simple("application/x-rtp", "payload", G_TYPE_INT, payload, nullptr));
  gst_element_link(g_slots.depay, g_slots.decoder);
  gst_element_link(g_slots.decoder, g_slots.sink);
  GiveWindowHandle(g_slots.sink, window_handle);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endplaystream(void) {
  if (!conventions::BeginEnd(PipelineKind::StreamPreview)) return 1;
  DismantleChain({g_slots.source, g_slots.depay, g_slots.decoder, g_slots.sink});
  conventions::FinishEnd();
  return 1;
}
