// The test camera element (see test_camera.h). Runs on the pipeline's
// threads like any source; registered once per process from the test thread.
#include "tests/camera/test_camera.h"

#include <cstring>

namespace {

struct TestCamera {
  GstBin bin;
  GstPad* src;
  gint device_index;
  gchar* device_name;
  gboolean opened;
};
struct TestCameraClass {
  GstBinClass parent_class;
};

G_DEFINE_TYPE(TestCamera, test_camera, GST_TYPE_BIN)

enum { kPropDeviceIndex = 1, kPropDeviceName };

GWeakRef latest_pattern;  // zero-initialised static: a valid empty weak reference

// 0 raw, 1 JPEG, -1 no such camera.
int ChosenCamera(const TestCamera* self) {
  if (self->device_name) {
    if (std::strcmp(self->device_name, testcamera::kRawName) == 0) return 0;
    if (std::strcmp(self->device_name, testcamera::kJpegName) == 0) return 1;
    return -1;
  }
  if (self->device_index < 0) return 0;
  return self->device_index <= 1 ? self->device_index : -1;
}

gboolean Open(TestCamera* self) {
  const int chosen = ChosenCamera(self);
  if (chosen < 0) {
    GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No such test camera"), (nullptr));
    return FALSE;
  }
  const char* description = chosen == 0
                                ? "videotestsrc name=pattern is-live=true ! capsfilter caps=video/x-raw,format=NV12"
                                : "videotestsrc name=pattern is-live=true ! video/x-raw,format=I420 ! jpegenc";
  GError* error = nullptr;
  GstElement* inner = gst_parse_bin_from_description(description, TRUE, &error);
  if (!inner) {
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", error->message), (nullptr));
    g_error_free(error);
    return FALSE;
  }
  gst_bin_add(GST_BIN(self), inner);
  GstPad* inner_src = gst_element_get_static_pad(inner, "src");
  gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), inner_src);
  gst_object_unref(inner_src);
  GstElement* pattern = gst_bin_get_by_name(GST_BIN(inner), "pattern");
  g_weak_ref_set(&latest_pattern, pattern);
  gst_object_unref(pattern);
  self->opened = TRUE;
  return TRUE;
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
  TestCamera* self = reinterpret_cast<TestCamera*>(element);
  if (transition == GST_STATE_CHANGE_NULL_TO_READY && !self->opened && !Open(self)) {
    return GST_STATE_CHANGE_FAILURE;
  }
  return GST_ELEMENT_CLASS(test_camera_parent_class)->change_state(element, transition);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec*) {
  TestCamera* self = reinterpret_cast<TestCamera*>(object);
  if (id == kPropDeviceIndex) {
    self->device_index = g_value_get_int(value);
  } else {
    g_free(self->device_name);
    self->device_name = g_value_dup_string(value);
  }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec*) {
  TestCamera* self = reinterpret_cast<TestCamera*>(object);
  if (id == kPropDeviceIndex) {
    g_value_set_int(value, self->device_index);
  } else {
    g_value_set_string(value, self->device_name);
  }
}

void Finalize(GObject* object) {
  g_free(reinterpret_cast<TestCamera*>(object)->device_name);
  G_OBJECT_CLASS(test_camera_parent_class)->finalize(object);
}

void test_camera_class_init(TestCameraClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = SetProperty;
  object_class->get_property = GetProperty;
  object_class->finalize = Finalize;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(object_class, kPropDeviceIndex,
                                  g_param_spec_int("device-index", "", "", G_MININT, G_MAXINT, -1, flags));
  g_object_class_install_property(object_class, kPropDeviceName,
                                  g_param_spec_string("device-name", "", "", nullptr, flags));
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  element_class->change_state = ChangeState;
  gst_element_class_set_static_metadata(element_class, "Test camera", "Source/Video", "SMPTE bars", "tests");
}

void test_camera_init(TestCamera* self) {
  self->device_index = -1;
  self->src = gst_ghost_pad_new_no_target("src", GST_PAD_SRC);
  gst_element_add_pad(GST_ELEMENT(self), self->src);
}

}  // namespace

namespace testcamera {

void Register() {
  gst_init(nullptr, nullptr);
  gst_element_register(nullptr, "mfvideosrc", GST_RANK_PRIMARY, test_camera_get_type());
}

GstElement* LatestPattern() { return static_cast<GstElement*>(g_weak_ref_get(&latest_pattern)); }

}  // namespace testcamera
