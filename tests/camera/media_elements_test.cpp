// The Linux stand-ins for "mfvideosrc" and "mfh264enc": registered only where
// no element of the name exists, the camera chosen through the device
// monitor (fake cameras come from a test device provider), a clear bus error
// without a camera, and the encoder's low-latency H.264.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "tests/camera/camera_support.h"

namespace {

// ------------------------------------------------------------ fake cameras

// Two cameras, "Fake Camera A" and "Fake Camera B"; each makes a
// videotestsrc whose pattern tells which one was chosen.
struct FakeCamera {
  GstDevice device;
  gint pattern;
};
struct FakeCameraClass {
  GstDeviceClass parent_class;
};
G_DEFINE_TYPE(FakeCamera, fake_camera, GST_TYPE_DEVICE)

GstElement* FakeCameraCreate(GstDevice* device, const gchar* name) {
  GstElement* source = gst_element_factory_make("videotestsrc", name);
  g_object_set(source, "pattern", reinterpret_cast<FakeCamera*>(device)->pattern, "is-live", TRUE, nullptr);
  return source;
}
void fake_camera_class_init(FakeCameraClass* klass) { GST_DEVICE_CLASS(klass)->create_element = FakeCameraCreate; }
void fake_camera_init(FakeCamera*) {}

struct FakeCameras {
  GstDeviceProvider provider;
};
struct FakeCamerasClass {
  GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(FakeCameras, fake_cameras, GST_TYPE_DEVICE_PROVIDER)

constexpr int kPatternA = 1;   // snow
constexpr int kPatternB = 18;  // ball

GList* FakeCamerasProbe(GstDeviceProvider*) {
  GList* devices = nullptr;
  for (auto [name, pattern] : {std::pair{"Fake Camera A", kPatternA}, std::pair{"Fake Camera B", kPatternB}}) {
    GstCaps* caps = gst_caps_new_empty_simple("video/x-raw");
    auto* camera = static_cast<FakeCamera*>(g_object_new(fake_camera_get_type(), "display-name", name, "device-class",
                                                         "Video/Source", "caps", caps, nullptr));
    gst_caps_unref(caps);
    camera->pattern = pattern;
    devices = g_list_append(devices, gst_object_ref_sink(camera));
  }
  return devices;
}
void fake_cameras_class_init(FakeCamerasClass* klass) {
  GST_DEVICE_PROVIDER_CLASS(klass)->probe = FakeCamerasProbe;
  gst_device_provider_class_set_static_metadata(GST_DEVICE_PROVIDER_CLASS(klass), "Fake cameras", "Source/Video",
                                                "Two test cameras", "tests");
}
void fake_cameras_init(FakeCameras*) {}

bool MachineHasCamera() {
  GstDeviceMonitor* monitor = gst_device_monitor_new();
  gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
  GList* devices = gst_device_monitor_get_devices(monitor);
  const bool any = devices != nullptr;
  g_list_free_full(devices, gst_object_unref);
  gst_object_unref(monitor);
  return any;
}

// ------------------------------------------------------------ registration

struct StandIn {
  const char* name;
  const char* factory;
  const char* type_name;
};
void PrintTo(const StandIn& s, std::ostream* os) { *os << s.name; }

class Registration : public testing::TestWithParam<StandIn> {
 protected:
  static GType TypeOf(const char* factory_name) {
    GstElementFactory* factory = gst_element_factory_find(factory_name);
    if (!factory) return G_TYPE_INVALID;
    const GType type = gst_element_factory_get_element_type(factory);
    gst_object_unref(factory);
    return type;
  }
};

TEST_P(Registration, StandInIsRegisteredWhenTheNameIsFree) {
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_STREQ(g_type_name(TypeOf(GetParam().factory)), GetParam().type_name);
  strova_release();
}

TEST_P(Registration, AnElementOfTheNameWins) {
  gst_init(nullptr, nullptr);
  ASSERT_TRUE(gst_element_register(nullptr, GetParam().factory, GST_RANK_NONE, GST_TYPE_BIN));
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(TypeOf(GetParam().factory), GST_TYPE_BIN);
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(StandIns, Registration,
                         testing::Values(StandIn{"Camera", "mfvideosrc", "VantrelCameraSource"},
                                         StandIn{"Encoder", "mfh264enc", "VantrelH264Encoder"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ camera choice

class CameraStandIn : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(strova_init(1), 1); }
  void TearDown() override {
    if (pipeline_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      gst_object_unref(pipeline_);
    }
    strova_release();
  }
  static void AddFakeCameras() {
    ASSERT_TRUE(gst_device_provider_register(nullptr, "fakecameras", GST_RANK_PRIMARY, fake_cameras_get_type()));
  }
  // Opens the stand-in camera (READY) and returns the result.
  GstStateChangeReturn Open(const char* properties) {
    const std::string description = std::string("mfvideosrc name=camera ") + properties + " ! fakesink";
    pipeline_ = gst_parse_launch(description.c_str(), nullptr);
    camera_ = gst_bin_get_by_name(GST_BIN(pipeline_), "camera");
    gst_object_unref(camera_);  // the pipeline keeps it
    return gst_element_set_state(pipeline_, GST_STATE_READY);
  }
  int ChosenPattern() {
    GstElement* chosen = gst_bin_get_by_name(GST_BIN(camera_), "camera");
    if (!chosen) return -1;
    gint pattern = -1;
    g_object_get(chosen, "pattern", &pattern, nullptr);
    gst_object_unref(chosen);
    return pattern;
  }
  std::string BusError() {
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (!message) return "<none>";
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error->message;
    g_error_free(error);
    gst_message_unref(message);
    return text;
  }
  GstElement* pipeline_ = nullptr;
  GstElement* camera_ = nullptr;
};

TEST_F(CameraStandIn, PicksTheCameraByIndexOrName) {
  AddFakeCameras();
  struct Case {
    const char* properties;
    int pattern;
  };
  for (const Case& c : {Case{"", kPatternA}, Case{"device-index=-4", kPatternA}, Case{"device-index=0", kPatternA},
                        Case{"device-index=1", kPatternB}, Case{"device-name=\"Fake Camera B\"", kPatternB},
                        Case{"device-index=0 device-name=\"Fake Camera B\"", kPatternB}}) {
    SCOPED_TRACE(c.properties);
    EXPECT_EQ(Open(c.properties), GST_STATE_CHANGE_SUCCESS);
    EXPECT_EQ(ChosenPattern(), c.pattern);
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
  }
}

TEST_F(CameraStandIn, ReopeningChoosesAgain) {
  AddFakeCameras();
  ASSERT_EQ(Open("device-index=0"), GST_STATE_CHANGE_SUCCESS);
  EXPECT_EQ(ChosenPattern(), kPatternA);
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  g_object_set(camera_, "device-index", 1, nullptr);
  ASSERT_EQ(gst_element_set_state(pipeline_, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
  EXPECT_EQ(ChosenPattern(), kPatternB);
}

TEST_F(CameraStandIn, ChosenCameraDeliversVideo) {
  AddFakeCameras();
  ASSERT_EQ(Open("device-name=\"Fake Camera B\""), GST_STATE_CHANGE_SUCCESS);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "fakesink0");
  gint frames = 0;
  g_object_set(sink, "signal-handoffs", TRUE, nullptr);
  g_signal_connect(sink, "handoff",
                   G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gint* count) { g_atomic_int_inc(count); }),
                   &frames);
  gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  for (int waited = 0; waited < 5000 && g_atomic_int_get(&frames) < 5; waited += 50) g_usleep(50'000);
  EXPECT_GE(g_atomic_int_get(&frames), 5);
  gst_object_unref(sink);
}

TEST_F(CameraStandIn, ACameraThatIsNotThereIsAClearBusError) {
  AddFakeCameras();
  EXPECT_EQ(Open("device-name=Nobody"), GST_STATE_CHANGE_FAILURE);
  EXPECT_EQ(BusError(), "No camera named \"Nobody\" (2 found)");
  gst_object_unref(pipeline_);
  EXPECT_EQ(Open("device-index=7"), GST_STATE_CHANGE_FAILURE);
  EXPECT_EQ(BusError(), "No camera with index 7 (2 found)");
}

TEST_F(CameraStandIn, WithoutAnyCameraTheStreamOutReportsItOnTheBus) {
  if (MachineHasCamera()) GTEST_SKIP() << "this machine has a camera";
  ASSERT_EQ(strova_startstream(0, nullptr, "video/x-raw", 640, 480, 30, 1, "127.0.0.1", 9), 1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(camerasupport::WaitWithLimit(10000));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: No camera found\n");
  EXPECT_EQ(strova_endstream(), 1);
}

// ------------------------------------------------------------ encoder

class EncoderStandIn : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(strova_init(1), 1);
    encoder_ = gst_element_factory_make("mfh264enc", nullptr);
    ASSERT_NE(encoder_, nullptr);
    gst_object_ref_sink(encoder_);
    x264_ = gst_bin_get_by_name(GST_BIN(encoder_), "x264");
    ASSERT_NE(x264_, nullptr);
  }
  void TearDown() override {
    if (x264_) gst_object_unref(x264_);
    if (encoder_) gst_object_unref(encoder_);
    strova_release();
  }
  int X264Int(const char* name) {
    GValue value = G_VALUE_INIT;
    g_object_get_property(G_OBJECT(x264_), name, &value);
    GValue as_int = G_VALUE_INIT;
    g_value_init(&as_int, G_TYPE_INT);
    if (G_VALUE_HOLDS_ENUM(&value)) {
      g_value_set_int(&as_int, g_value_get_enum(&value));
    } else if (G_VALUE_HOLDS_FLAGS(&value)) {
      g_value_set_int(&as_int, static_cast<int>(g_value_get_flags(&value)));
    } else {
      g_value_transform(&value, &as_int);
    }
    const int result = g_value_get_int(&as_int);
    g_value_unset(&value);
    return result;
  }
  GstElement* encoder_ = nullptr;
  GstElement* x264_ = nullptr;
};

constexpr int kZeroLatencyTune = 0x4;

TEST_F(EncoderStandIn, LowLatencyMeansNoReorderingAndNoLookahead) {
  gboolean low_latency = TRUE;
  guint quality = 0;
  g_object_get(encoder_, "low-latency", &low_latency, "quality-vs-speed", &quality, nullptr);
  EXPECT_FALSE(low_latency);
  EXPECT_EQ(quality, 50u);
  EXPECT_EQ(X264Int("rc-lookahead"), 40);

  g_object_set(encoder_, "low-latency", TRUE, nullptr);
  EXPECT_EQ(X264Int("tune") & kZeroLatencyTune, kZeroLatencyTune);
  EXPECT_EQ(X264Int("bframes"), 0);
  EXPECT_EQ(X264Int("b-adapt"), 0);
  EXPECT_EQ(X264Int("rc-lookahead"), 0);
  EXPECT_EQ(X264Int("sync-lookahead"), 0);
  EXPECT_EQ(X264Int("key-int-max"), 30);

  g_object_set(encoder_, "low-latency", FALSE, nullptr);
  EXPECT_EQ(X264Int("tune"), 0);
  EXPECT_EQ(X264Int("rc-lookahead"), 40);
  EXPECT_EQ(X264Int("sync-lookahead"), -1);
  EXPECT_EQ(X264Int("key-int-max"), 0);
}

TEST_F(EncoderStandIn, QualityVsSpeedPicksTheX264Preset) {
  for (auto [quality, preset] : {std::pair{0u, 1}, std::pair{50u, 5}, std::pair{100u, 9}, std::pair{12u, 2}}) {
    g_object_set(encoder_, "quality-vs-speed", quality, nullptr);
    EXPECT_EQ(X264Int("speed-preset"), preset) << quality;
  }
}

// Real encoding: byte stream with parameter sets in band, frames in order.
TEST_F(EncoderStandIn, EncodesInOrderAsAByteStream) {
  GstElement* pipeline = gst_parse_launch(
      "videotestsrc num-buffers=15 ! video/x-raw,format=NV12,width=320,height=240,framerate=30/1 ! "
      "mfh264enc name=enc low-latency=true quality-vs-speed=0 ! appsink name=out sync=false",
      nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  int frames = 0;
  GstClockTime last_pts = 0;
  while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 5 * GST_SECOND)) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (frames == 0) {
      gchar* caps = gst_caps_to_string(gst_sample_get_caps(sample));
      EXPECT_NE(std::string(caps).find("stream-format=(string)byte-stream"), std::string::npos) << caps;
      g_free(caps);
      GstMapInfo map;
      ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
      ASSERT_GE(map.size, 5u);
      const std::string stream(reinterpret_cast<const char*>(map.data), map.size);
      EXPECT_EQ(stream.rfind(std::string("\0\0\0\1", 4), 0), 0u);
      // Sequence and picture parameter sets travel in band with the first frame.
      EXPECT_NE(stream.find(std::string("\0\0\1\x67", 4)), std::string::npos);
      EXPECT_NE(stream.find(std::string("\0\0\1\x68", 4)), std::string::npos);
      gst_buffer_unmap(buffer, &map);
    } else {
      EXPECT_GT(GST_BUFFER_PTS(buffer), last_pts);
    }
    EXPECT_EQ(GST_BUFFER_DTS(buffer), GST_BUFFER_PTS(buffer));  // no reordering
    last_pts = GST_BUFFER_PTS(buffer);
    ++frames;
    gst_sample_unref(sample);
  }
  EXPECT_EQ(frames, 15);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
}

}  // namespace

namespace {

TEST(EncoderStandInParts, WithoutX264ItRefusesToOpenWithAClearError) {
  ASSERT_EQ(strova_init(1), 1);
  camerasupport::FactoryRemoved removed("x264enc");
  testing::internal::CaptureStderr();
  GstElement* pipeline = gst_parse_launch("videotestsrc ! mfh264enc ! fakesink", nullptr);
  ASSERT_NE(pipeline, nullptr);
  EXPECT_EQ(gst_element_set_state(pipeline, GST_STATE_READY), GST_STATE_CHANGE_FAILURE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no criticals
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  ASSERT_NE(message, nullptr);
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  EXPECT_STREQ(error->message, "The H.264 encoder needs x264enc and videoconvert");
  g_error_free(error);
  gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  removed.Restore();
  strova_release();
}

}  // namespace
