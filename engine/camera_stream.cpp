// Camera stream-out pipeline "kxpcbox": camera [-> JPEG decoder -> converter]
// -> H.264 encoder (low latency) -> RTP payloader -> UDP sink to host:port.
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include "engine/engine_slots.h"
#include "engine/kxpcbox.h"

extern "C" STROVA_API EngineResult strova_startstream(int32_t device_index, const char* device_name,
                                                      const char* media_type, int32_t width, int32_t height,
                                                      int32_t framerate, int32_t framerate_den,
                                                      const char* host, int32_t port) {
  // No host or no usable port: nothing could be sent where the caller asked.
  if (!host || !IsUdpPort(port) || !conventions::MayStart()) return 0;
  const bool jpeg = IsJpegMediaType(media_type);
  conventions::MakePipeline("kxpcbox", PipelineKind::CameraStream);
  g_slots.source = conventions::MakeElement("mfvideosrc", "webcam-source");
  if (jpeg) {
    g_slots.decoder = conventions::MakeElement("jpegdec", "jpegdecoder");
    g_slots.converter = conventions::MakeElement("videoconvert", "converter");
  }
  g_slots.encoder = conventions::MakeElement("mfh264enc", "h264-encoder");
  g_slots.payloader = conventions::MakeElement("rtph264pay", "rtp-pay");
  g_slots.net_sink = conventions::MakeElement("udpsink", "udp-sink");
  const bool jpeg_parts = !jpeg || (g_slots.decoder && g_slots.converter);
  if (!g_slots.pipeline || !g_slots.source || !jpeg_parts || !g_slots.encoder || !g_slots.payloader ||
      !g_slots.net_sink) {
    if (jpeg) {
      return conventions::FailStart({&g_slots.source, &g_slots.decoder, &g_slots.converter, &g_slots.encoder,
                                     &g_slots.payloader, &g_slots.net_sink});
    }
    return conventions::FailStart({&g_slots.source, &g_slots.encoder, &g_slots.payloader, &g_slots.net_sink});
  }
  conventions::AddBusWatch();
  GstBin* bin = GST_BIN(g_slots.pipeline);
  if (jpeg) {
    gst_bin_add_many(bin, g_slots.source, g_slots.decoder, g_slots.converter, g_slots.encoder, g_slots.payloader,
                     g_slots.net_sink, nullptr);
  } else {
    gst_bin_add_many(bin, g_slots.source, g_slots.encoder, g_slots.payloader, g_slots.net_sink, nullptr);
  }
  LinkSourceChain(device_index, device_name, media_type, width, height, framerate, framerate_den, jpeg ? 1 : 0);
  g_object_set(g_slots.encoder, "low-latency", TRUE, nullptr);
  g_object_set(g_slots.encoder, "quality-vs-speed", 0u, nullptr);
  g_object_set(g_slots.net_sink, "host", host, nullptr);
  g_object_set(g_slots.net_sink, "port", port, nullptr);
  if (jpeg) gst_element_link(g_slots.converter, g_slots.encoder);
  gst_element_link(g_slots.encoder, g_slots.payloader);
  gst_element_link(g_slots.payloader, g_slots.net_sink);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endstream(void) {
  if (!conventions::BeginEnd(PipelineKind::CameraStream)) return 1;
  if (g_slots.decoder) {
    DismantleChain({g_slots.source, g_slots.decoder, g_slots.converter, g_slots.encoder, g_slots.payloader,
                    g_slots.net_sink});
  } else {
    DismantleChain({g_slots.source, g_slots.encoder, g_slots.payloader, g_slots.net_sink});
  }
  conventions::FinishEnd();
  return 1;
}
