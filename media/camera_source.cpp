// "mfvideosrc" on Linux: a bin that picks a camera through GStreamer's device
// monitor, by display name or else by index, when it is opened, and exposes
// that camera's source pad. Registered by RegisterMediaElements; then runs on
// the pipeline's threads, keeps no state outside itself and knows nothing of
// the engine. Debug category "vantrelcamerasrc".
#include <gst/gst.h>

#include "media/stand_in_elements.h"

GST_DEBUG_CATEGORY_STATIC(vantrel_camera_source_debug);
#define GST_CAT_DEFAULT vantrel_camera_source_debug

namespace {

struct VantrelCameraSource {
  GstBin bin;
  GstPad* src;         // ghost pad; its target is the chosen camera's source pad
  GstElement* camera;  // the chosen device's element while the source is open
  gint device_index;   // below 0: the first camera
  gchar* device_name;  // display name; wins over the index
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
  GST_INFO_OBJECT(self, "opened camera %" GST_PTR_FORMAT, self->camera);
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
  GST_DEBUG_CATEGORY_INIT(vantrel_camera_source_debug, "vantrelcamerasrc", 0, "Camera source stand-in");
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = CameraSourceSetProperty;
  object_class->get_property = CameraSourceGetProperty;
  object_class->finalize = CameraSourceFinalize;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      object_class, kPropDeviceIndex,
      g_param_spec_int("device-index", "Device index", "Camera number; below 0 the first camera", G_MININT, G_MAXINT,
                       -1, flags));
  g_object_class_install_property(
      object_class, kPropDeviceName,
      g_param_spec_string("device-name", "Device name", "Display name of the camera; wins over the index", nullptr,
                          flags));
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

}  // namespace

namespace media {

GType CameraSourceType() { return vantrel_camera_source_get_type(); }

}  // namespace media
