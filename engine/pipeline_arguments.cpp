// How the pipeline exports read their callers' arguments (pipeline_arguments.h).
// Caller's thread only.
#include "engine/pipeline_arguments.h"

#include <gst/video/videooverlay.h>

#include <cstring>

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

void ChooseCamera(GstElement* source, int32_t device_index, const char* device_name) {
  if (device_name) {
    g_object_set(source, "device-name", device_name, nullptr);
  } else {
    g_object_set(source, "device-index", device_index, nullptr);
  }
}

void GiveWindowHandle(GstElement* sink, uintptr_t window_handle) {
  if (window_handle) gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), window_handle);
}
