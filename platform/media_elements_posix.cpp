// Linux stand-ins for the Media Foundation camera source and H.264 encoder.
// "mfvideosrc" picks a camera through GStreamer's device monitor, by index or
// by display name, when it is opened; "mfh264enc" is a bin around x264enc.
// Registered once from strova_init (caller's thread), and only under names no
// element holds yet, so real elements and test elements win. The elements
// then run on the pipeline's threads; they keep no state outside themselves
// and know nothing of the engine.
#include <gst/gst.h>

#include "platform/media_elements.h"

namespace {

// ---------------------------------------------------------------- camera

struct VantrelCameraSource {
  GstBin bin;
  GstPad* src;          // ghost pad; its target is the chosen camera's source pad
  GstElement* camera;   // the chosen device's element while the source is open
  gint device_index;    // below 0: the first camera
  gchar* device_name;   // display name; wins over the index
};
struct VantrelCameraSourceClass {
  GstBinClass parent_class;
};

enum { kPropDeviceIndex = 1, kPropDeviceName };

G_DEFINE_TYPE(VantrelCameraSource, vantrel_camera_source, GST_TYPE_BIN)

// The device chosen by name (when given) or by index among the video sources;
// nullptr with a reason in *why when there is none.
GstDevice* ChooseCamera(const VantrelCameraSource* self, gchar** why) {
  GstDeviceMonitor* monitor = gst_device_monitor_new();
  gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
  GList* devices = gst_device_monitor_get_devices(monitor);
  const guint count = g_list_length(devices);
  GstDevice* chosen = nullptr;
  guint position = 0;
  for (GList* item = devices; item && !chosen; item = item->next, ++position) {
    GstDevice* device = GST_DEVICE(item->data);
    if (self->device_name) {
      gchar* shown = gst_device_get_display_name(device);
      if (g_strcmp0(shown, self->device_name) == 0) chosen = device;
      g_free(shown);
    } else if (position == static_cast<guint>(self->device_index < 0 ? 0 : self->device_index)) {
      chosen = device;
    }
  }
  if (chosen) gst_object_ref(chosen);
  g_list_free_full(devices, gst_object_unref);
  gst_object_unref(monitor);
  if (chosen) return chosen;
  if (count == 0) {
    *why = g_strdup("No camera found");
  } else if (self->device_name) {
    *why = g_strdup_printf("No camera named \"%s\" (%u found)", self->device_name, count);
  } else {
    *why = g_strdup_printf("No camera with index %d (%u found)", self->device_index, count);
  }
  return nullptr;
}

// Makes the chosen camera's element and points the ghost pad at it; on
// failure posts an error on the bus.
gboolean OpenCamera(VantrelCameraSource* self) {
  gchar* why = nullptr;
  GstDevice* device = ChooseCamera(self, &why);
  if (device) {
    self->camera = gst_device_create_element(device, "camera");
    gst_object_unref(device);
    if (!self->camera) why = g_strdup("The camera could not be opened");
  }
  if (!self->camera) {
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", why), (nullptr));
    g_free(why);
    return FALSE;
  }
  gst_bin_add(GST_BIN(self), self->camera);
  GstPad* camera_src = gst_element_get_static_pad(self->camera, "src");
  gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), camera_src);
  if (camera_src) gst_object_unref(camera_src);
  return TRUE;
}

void CloseCamera(VantrelCameraSource* self) {
  if (!self->camera) return;
  gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), nullptr);
  gst_element_set_state(self->camera, GST_STATE_NULL);
  gst_bin_remove(GST_BIN(self), self->camera);
  self->camera = nullptr;
}

GstStateChangeReturn CameraSourceChangeState(GstElement* element, GstStateChange transition) {
  VantrelCameraSource* self = reinterpret_cast<VantrelCameraSource*>(element);
  if (transition == GST_STATE_CHANGE_NULL_TO_READY && !self->camera && !OpenCamera(self)) {
    return GST_STATE_CHANGE_FAILURE;
  }
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(vantrel_camera_source_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_READY_TO_NULL) CloseCamera(self);
  return result;
}

void CameraSourceSetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  VantrelCameraSource* self = reinterpret_cast<VantrelCameraSource*>(object);
  switch (id) {
    case kPropDeviceIndex:
      self->device_index = g_value_get_int(value);
      break;
    case kPropDeviceName:
      g_free(self->device_name);
      self->device_name = g_value_dup_string(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void CameraSourceGetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  VantrelCameraSource* self = reinterpret_cast<VantrelCameraSource*>(object);
  switch (id) {
    case kPropDeviceIndex:
      g_value_set_int(value, self->device_index);
      break;
    case kPropDeviceName:
      g_value_set_string(value, self->device_name);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void CameraSourceFinalize(GObject* object) {
  g_free(reinterpret_cast<VantrelCameraSource*>(object)->device_name);
  G_OBJECT_CLASS(vantrel_camera_source_parent_class)->finalize(object);
}

GstStaticPadTemplate camera_src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

void vantrel_camera_source_class_init(VantrelCameraSourceClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = CameraSourceSetProperty;
  object_class->get_property = CameraSourceGetProperty;
  object_class->finalize = CameraSourceFinalize;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      object_class, kPropDeviceIndex,
      g_param_spec_int("device-index", "Device index", "Camera number; below 0 the first camera", G_MININT,
                       G_MAXINT, -1, flags));
  g_object_class_install_property(
      object_class, kPropDeviceName,
      g_param_spec_string("device-name", "Device name", "Display name of the camera; wins over the index",
                          nullptr, flags));
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  element_class->change_state = CameraSourceChangeState;
  gst_element_class_add_static_pad_template(element_class, &camera_src_template);
  gst_element_class_set_static_metadata(element_class, "Camera source", "Source/Video",
                                        "Camera chosen through the device monitor", "Vantrel");
}

void vantrel_camera_source_init(VantrelCameraSource* self) {
  self->device_index = -1;
  self->src = gst_ghost_pad_new_no_target("src", GST_PAD_SRC);
  gst_element_add_pad(GST_ELEMENT(self), self->src);
}

// ---------------------------------------------------------------- encoder

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
    {"tune", "zerolatency"}, {"bframes", "0"},      {"b-adapt", "false"},
    {"rc-lookahead", "0"},   {"sync-lookahead", "0"}, {"sliced-threads", "true"},
    {"key-int-max", "30"},
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
  g_object_set(x264, "speed-preset", static_cast<gint>(1 + (self->quality_vs_speed * 8 + 50) / 100), nullptr);
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
    GST_ELEMENT_ERROR(element, CORE, MISSING_PLUGIN, ("The H.264 encoder needs x264enc and videoconvert"),
                      (nullptr));
    return GST_STATE_CHANGE_FAILURE;
  }
  return GST_ELEMENT_CLASS(vantrel_h264_encoder_parent_class)->change_state(element, transition);
}

void vantrel_h264_encoder_class_init(VantrelH264EncoderClass* klass) {
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

bool FactoryExists(const char* name) {
  GstElementFactory* factory = gst_element_factory_find(name);
  if (factory) gst_object_unref(factory);
  return factory != nullptr;
}

}  // namespace

namespace platform {

void RegisterMediaElements() {
  if (!FactoryExists("mfvideosrc")) {
    gst_element_register(nullptr, "mfvideosrc", GST_RANK_NONE, vantrel_camera_source_get_type());
  }
  const bool encoder_parts = FactoryExists("x264enc") && FactoryExists("videoconvert");
  if (!FactoryExists("mfh264enc") && encoder_parts) {
    gst_element_register(nullptr, "mfh264enc", GST_RANK_NONE, vantrel_h264_encoder_get_type());
  }
}

}  // namespace platform
