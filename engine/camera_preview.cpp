// Camera preview pipeline "kxpcbox": camera [-> JPEG decoder] -> converter ->
// OpenGL sink drawing into the caller's window; and the camera source chain
// and teardown helpers the other "kxpcbox" families share (kxpcbox.h).
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include <gst/video/videooverlay.h>

#include <cstring>

#include "engine/engine_slots.h"
#include "engine/kxpcbox.h"

bool IsJpegMediaType(const char* media_type) { return media_type && std::strstr(media_type, "jpeg"); }

bool IsUdpPort(int32_t port) { return port >= 1 && port <= 65535; }

bool IsCapsName(const char* text) {
  if (!text || !g_ascii_isalpha(*text)) return false;
  for (const char* c = text; *c; ++c) {
    if (!g_ascii_isalnum(*c) && !std::strchr("/-_.:+", *c)) return false;
  }
  return true;
}

GstCaps* MakeSourceCaps(const char* media_type, int32_t width, int32_t height, int32_t framerate,
                        int32_t framerate_den) {
  if (width < 1 || height < 1 || framerate < 1) return nullptr;
  const char* name = media_type ? media_type : "video/x-raw";
  if (!IsCapsName(name)) return nullptr;
  return gst_caps_new_simple(name, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, "framerate",
                             GST_TYPE_FRACTION, framerate, framerate_den < 1 ? 1 : framerate_den, nullptr);
}

void LinkSourceChain(int32_t device_index, const char* device_name, const char* media_type, int32_t width,
                     int32_t height, int32_t framerate, int32_t framerate_den, int to_converter) {
  if (device_name) {
    g_object_set(g_slots.source, "device-name", device_name, nullptr);
  } else {
    g_object_set(g_slots.source, "device-index", device_index, nullptr);
  }
  GstElement* next = to_converter ? g_slots.converter : g_slots.encoder;
  GstElement* after_source = g_slots.decoder ? g_slots.decoder : next;
  if (GstCaps* caps = MakeSourceCaps(media_type, width, height, framerate, framerate_den)) {
    conventions::LinkFiltered(g_slots.source, after_source, caps);
  } else {
    gst_element_link(g_slots.source, after_source);
  }
  if (g_slots.decoder) gst_element_link(g_slots.decoder, next);
}

void GiveWindowHandle(GstElement* sink, uintptr_t window_handle) {
  if (window_handle) gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), window_handle);
}

void DismantleChain(std::initializer_list<GstElement*> chain) {
  for (auto link = chain.end() - 1; link != chain.begin(); --link) gst_element_unlink(link[-1], *link);
  for (GstElement* element : chain) gst_bin_remove(GST_BIN(g_slots.pipeline), element);
}

extern "C" STROVA_API EngineResult strova_startplay(int32_t device_index, const char* device_name,
                                                    const char* media_type, int32_t width, int32_t height,
                                                    int32_t framerate, int32_t framerate_den,
                                                    uintptr_t window_handle) {
  if (!conventions::MayStart()) return 0;
  const bool jpeg = IsJpegMediaType(media_type);
  conventions::MakePipeline("kxpcbox", PipelineKind::CameraPreview);
  g_slots.source = conventions::MakeElement("mfvideosrc", "webcam-source");
  if (jpeg) g_slots.decoder = conventions::MakeElement("jpegdec", "jpegdecoder");
  g_slots.converter = conventions::MakeElement("videoconvert", "converter");
  g_slots.sink = conventions::MakeElement("glimagesink", "video-output");
  if (!g_slots.pipeline || !g_slots.source || (jpeg && !g_slots.decoder) || !g_slots.converter || !g_slots.sink) {
    return conventions::FailStart({&g_slots.source, &g_slots.decoder, &g_slots.converter, &g_slots.sink});
  }
  conventions::AddBusWatch();
  if (jpeg) {
    gst_bin_add_many(GST_BIN(g_slots.pipeline), g_slots.source, g_slots.decoder, g_slots.converter, g_slots.sink,
                     nullptr);
  } else {
    gst_bin_add_many(GST_BIN(g_slots.pipeline), g_slots.source, g_slots.converter, g_slots.sink, nullptr);
  }
  LinkSourceChain(device_index, device_name, media_type, width, height, framerate, framerate_den, 1);
  gst_element_link(g_slots.converter, g_slots.sink);
  GiveWindowHandle(g_slots.sink, window_handle);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endplay(void) {
  if (!conventions::BeginEnd(PipelineKind::CameraPreview)) return 1;
  if (g_slots.decoder) {
    DismantleChain({g_slots.source, g_slots.decoder, g_slots.converter, g_slots.sink});
  } else {
    DismantleChain({g_slots.source, g_slots.converter, g_slots.sink});
  }
  conventions::FinishEnd();
  return 1;
}
