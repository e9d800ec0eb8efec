// "mfh264enc" on Linux: a bin around videoconvert ! x264enc that takes the
// Media Foundation encoder's "low-latency" and "quality-vs-speed" settings.
// Registered by RegisterMediaElements; then runs on the pipeline's threads,
// keeps no state outside itself and knows nothing of the engine. Debug
// category "vantrelh264enc".
#include <gst/gst.h>

#include "media/stand_in_elements.h"

GST_DEBUG_CATEGORY_STATIC(vantrel_h264_encoder_debug);
#define GST_CAT_DEFAULT vantrel_h264_encoder_debug

namespace {

struct VantrelH264Encoder {
  GstBin bin;
  GstElement* x264;
  gboolean low_latency;
  guint quality_vs_speed;  // 0 fastest .. 100 best quality
};
struct VantrelH264EncoderClass {
  GstBinClass parent_class;
};

enum { kPropLowLatency = 1, kPropQualityVsSpeed };
constexpr guint kDefaultQualityVsSpeed = 50;

G_DEFINE_TYPE(VantrelH264Encoder, vantrel_h264_encoder, GST_TYPE_BIN)

// x264 settings of low latency: no B-frames (no reordering), no lookahead, and
// a key frame every 30 frames, so that a receiver joining a running stream
// shows a picture within about a second. Without low latency these properties
// keep x264enc's defaults.
struct LowLatencySetting {
  const char* property;
  const char* value;
};
constexpr LowLatencySetting kLowLatencySettings[] = {
    {"tune", "zerolatency"}, {"bframes", "0"},           {"b-adapt", "false"},  {"rc-lookahead", "0"},
    {"sync-lookahead", "0"}, {"sliced-threads", "true"}, {"key-int-max", "30"},
};

void ApplyEncoderSettings(VantrelH264Encoder* self) {
  GObject* x264 = G_OBJECT(self->x264);
  for (const LowLatencySetting& setting : kLowLatencySettings) {
    if (self->low_latency) {
      gst_util_set_object_arg(x264, setting.property, setting.value);
    } else {
      GParamSpec* pspec = g_object_class_find_property(G_OBJECT_GET_CLASS(x264), setting.property);
      g_object_set_property(x264, setting.property, g_param_spec_get_default_value(pspec));
    }
  }
  // x264 presets 1 (ultrafast) .. 9 (veryslow) cover the quality range.
  const gint preset = static_cast<gint>(1 + (self->quality_vs_speed * 8 + 50) / 100);
  g_object_set(x264, "speed-preset", preset, nullptr);
  GST_DEBUG_OBJECT(self, "low-latency %d, speed-preset %d", self->low_latency, preset);
}

void H264EncoderSetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  VantrelH264Encoder* self = reinterpret_cast<VantrelH264Encoder*>(object);
  switch (id) {
    case kPropLowLatency:
      self->low_latency = g_value_get_boolean(value);
      break;
    case kPropQualityVsSpeed:
      self->quality_vs_speed = g_value_get_uint(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      return;
  }
  if (self->x264) ApplyEncoderSettings(self);
}

void H264EncoderGetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  VantrelH264Encoder* self = reinterpret_cast<VantrelH264Encoder*>(object);
  switch (id) {
    case kPropLowLatency:
      g_value_set_boolean(value, self->low_latency);
      break;
    case kPropQualityVsSpeed:
      g_value_set_uint(value, self->quality_vs_speed);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

GstStateChangeReturn H264EncoderChangeState(GstElement* element, GstStateChange transition) {
  if (transition == GST_STATE_CHANGE_NULL_TO_READY && !reinterpret_cast<VantrelH264Encoder*>(element)->x264) {
    GST_ELEMENT_ERROR(element, CORE, MISSING_PLUGIN, ("The H.264 encoder needs x264enc and videoconvert"), (nullptr));
    return GST_STATE_CHANGE_FAILURE;
  }
  return GST_ELEMENT_CLASS(vantrel_h264_encoder_parent_class)->change_state(element, transition);
}

void vantrel_h264_encoder_class_init(VantrelH264EncoderClass* klass) {
  GST_DEBUG_CATEGORY_INIT(vantrel_h264_encoder_debug, "vantrelh264enc", 0, "H.264 encoder stand-in");
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = H264EncoderSetProperty;
  object_class->get_property = H264EncoderGetProperty;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      object_class, kPropLowLatency,
      g_param_spec_boolean("low-latency", "Low latency", "No frame reordering and no lookahead", FALSE, flags));
  g_object_class_install_property(
      object_class, kPropQualityVsSpeed,
      g_param_spec_uint("quality-vs-speed", "Quality vs speed", "0 fastest .. 100 best quality", 0, 100,
                        kDefaultQualityVsSpeed, flags));
  GST_ELEMENT_CLASS(klass)->change_state = H264EncoderChangeState;
  gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "H.264 encoder", "Codec/Encoder/Video",
                                        "x264 with the Media Foundation encoder's settings", "Vantrel");
}

// Adds a ghost pad named like the element's pad it exposes.
void ExposePad(GstElement* bin, GstElement* element, const char* name) {
  GstPad* pad = gst_element_get_static_pad(element, name);
  gst_element_add_pad(bin, gst_ghost_pad_new(name, pad));
  gst_object_unref(pad);
}

// videoconvert ! x264enc ! byte-stream caps: takes any raw video, gives
// H.264 byte stream with its parameter sets in band, as the real encoder does.
// Without its parts the bin stays empty and refuses to open.
void vantrel_h264_encoder_init(VantrelH264Encoder* self) {
  self->quality_vs_speed = kDefaultQualityVsSpeed;
  GstElement* parts[] = {gst_element_factory_make("videoconvert", "convert"),
                         gst_element_factory_make("x264enc", "x264"),
                         gst_element_factory_make("capsfilter", "byte-stream")};
  if (!parts[0] || !parts[1] || !parts[2]) {
    for (GstElement* part : parts) {
      if (part) gst_object_unref(gst_object_ref_sink(part));
    }
    return;
  }
  GstCaps* caps = gst_caps_from_string("video/x-h264,stream-format=byte-stream,alignment=au");
  g_object_set(parts[2], "caps", caps, nullptr);
  gst_caps_unref(caps);
  gst_bin_add_many(GST_BIN(self), parts[0], parts[1], parts[2], nullptr);
  gst_element_link_many(parts[0], parts[1], parts[2], nullptr);
  ExposePad(GST_ELEMENT(self), parts[0], "sink");
  ExposePad(GST_ELEMENT(self), parts[2], "src");
  self->x264 = parts[1];
  ApplyEncoderSettings(self);
}

}  // namespace

namespace media {

GType H264EncoderType() { return vantrel_h264_encoder_get_type(); }

}  // namespace media
