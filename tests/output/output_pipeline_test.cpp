// Output pipeline: the choice of chain, the shape of the running pipeline
// (elements, links, caps, properties), teardown, a missing element, and the
// guards against a pipeline that exists already or is of another kind.
#include "engine/output_pipeline.h"

#include <gtest/gtest.h>

#include "engine/engine_slots.h"
#include "engine/frame_queue.h"
#include "engine/frame_queue_reader.h"
#include "engine/pipeline_conventions.h"
#include "tests/output/output_fixture.h"

namespace {

using namespace outputtest;
using camerasupport::ChainFrom;
using camerasupport::ElementsInAddOrder;

TEST(OutputDecisions, ChainAndCameraCaps) {
  EXPECT_TRUE(UsesNetworkChain(nullptr, 51035));
  EXPECT_TRUE(UsesNetworkChain(nullptr, -1));
  EXPECT_FALSE(UsesNetworkChain(nullptr, 0));
  EXPECT_FALSE(UsesNetworkChain("USB Camera", 51035));
  EXPECT_FALSE(UsesNetworkChain("", 0));

  EXPECT_TRUE(AppliesCameraCaps(1, 1, 1));
  EXPECT_FALSE(AppliesCameraCaps(0, 240, 30));
  EXPECT_FALSE(AppliesCameraCaps(320, -240, 30));
  EXPECT_FALSE(AppliesCameraCaps(320, 240, 0));
  EXPECT_FALSE(AppliesCameraCaps(320, 240, INT32_MIN));
}

// Every slot the output pipeline uses, empty.
void ExpectOutputSlotsEmpty() {
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(g_slots.source, nullptr);
  EXPECT_EQ(g_slots.depay, nullptr);
  EXPECT_EQ(g_slots.jitter_buffer, nullptr);
  EXPECT_EQ(g_slots.decoder, nullptr);
  EXPECT_EQ(g_slots.converter, nullptr);
  EXPECT_EQ(g_slots.tee, nullptr);
  EXPECT_EQ(g_slots.app_queue, nullptr);
  EXPECT_EQ(g_slots.sink, nullptr);
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(g_slots.kind, PipelineKind::None);
}

const std::string kNv12Tee = " -{video/x-raw, format=(string)NV12}-> tee";

struct ShapeCase {
  const char* name;
  int device_index;
  const char* device_name;
  bool network_port;  // a free port, else 0
  const char* media_type;
  int width, height, framerate;
  std::vector<std::string> elements;  // in the order they went into the pipeline
  std::string chain;                  // from the source to the tee
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kNetworkElements = {
    "udp-source", "rtp-jitterbuffer", "rtph264-depay", "avdec-h264", "converter", "tee", "queue-app", "app-sink"};
const std::vector<std::string> kCameraElements = {"webcam-source", "converter", "tee", "queue-app", "app-sink"};
const std::vector<std::string> kJpegElements = {"webcam-source", "jpegdecoder", "converter",
                                                "tee",           "queue-app",   "app-sink"};
const std::string kNetworkChain =
    "udp-source -{application/x-rtp, payload=(int)96, clock-rate=(int)90000}-> rtp-jitterbuffer -> rtph264-depay -> "
    "avdec-h264 -> converter" +
    kNv12Tee;
const std::string kRawSized = "webcam-source -{video/x-raw, width=(int)320, height=(int)240}-> converter" + kNv12Tee;
const std::string kRawPlain = "webcam-source -> converter" + kNv12Tee;

const ShapeCase kShapes[] = {
    {"Network", 0, nullptr, true, "video/x-raw", 320, 240, 30, kNetworkElements, kNetworkChain},
    {"NetworkIgnoresJpegTypeAndSizes", 1, nullptr, true, "image/jpeg", 0, -5, 0, kNetworkElements, kNetworkChain},
    {"CameraByIndex", 0, nullptr, false, "video/x-raw", 320, 240, 30, kCameraElements, kRawSized},
    {"CameraByNameWinsOverPort", 5, testcamera::kRawName, true, "video/x-raw", 320, 240, 30, kCameraElements,
     kRawSized},
    {"CameraNullMediaType", 0, nullptr, false, nullptr, 320, 240, 30, kCameraElements, kRawSized},
    {"CameraZeroWidthNoCaps", 0, nullptr, false, "video/x-raw", 0, 240, 30, kCameraElements, kRawPlain},
    {"CameraNegativeHeightNoCaps", 0, nullptr, false, "video/x-raw", 320, -1, 30, kCameraElements, kRawPlain},
    {"CameraZeroFramerateNoCaps", 0, nullptr, false, "video/x-raw", 320, 240, 0, kCameraElements, kRawPlain},
    {"CameraUnnamableMediaTypeNoCaps", 0, nullptr, false, "video x-raw", 320, 240, 30, kCameraElements, kRawPlain},
    {"CameraJpegSized", 1, nullptr, false, "image/jpeg", 320, 240, 30, kJpegElements,
     "webcam-source -{image/jpeg, width=(int)320, height=(int)240}-> jpegdecoder -> converter" + kNv12Tee},
    {"CameraJpegUnsized", 0, testcamera::kJpegName, false, "image/jpeg", 320, 240, -30, kJpegElements,
     "webcam-source -> jpegdecoder -> converter" + kNv12Tee},
};

class OutputShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(OutputShape, RunningPipelineHasTheChainAndTearsDownCompletely) {
  const ShapeCase& c = GetParam();
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  const int port = c.network_port ? FreeUdpPort() : 0;
  ASSERT_EQ(strova_startoutput(c.device_index, c.device_name, port, c.media_type, c.width, c.height, c.framerate, 1),
            1);

  ASSERT_NE(g_slots.pipeline, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.pipeline), "kxclient");
  EXPECT_EQ(g_slots.kind, PipelineKind::Output);
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), c.elements);
  EXPECT_EQ(ChainFrom(g_slots.source), c.chain);
  EXPECT_EQ(TeeTargets(), std::vector<std::string>{"queue-app"});
  EXPECT_EQ(ChainFrom(g_slots.app_queue), "queue-app -> app-sink");
  EXPECT_NE(g_slots.bus_watch_id, 0u);
  EXPECT_EQ(g_slots.frame_queue != nullptr, c.width >= 0 && c.height >= 0) << "a negative size is refused";

  const bool network = c.chain.starts_with("udp-source");
  EXPECT_EQ(g_slots.rtp_input, network);
  EXPECT_EQ(g_slots.depay != nullptr, network);
  if (network) {
    gint bound = 0;
    g_object_get(g_slots.source, "port", &bound, nullptr);
    EXPECT_EQ(bound, port);
  } else {
    gint index = -1;
    gchar* name = nullptr;
    g_object_get(g_slots.source, "device-index", &index, "device-name", &name, nullptr);
    GParamSpec* index_param = g_object_class_find_property(G_OBJECT_GET_CLASS(g_slots.source), "device-index");
    EXPECT_EQ(index, c.device_name ? G_PARAM_SPEC_INT(index_param)->default_value : c.device_index);
    EXPECT_STREQ(name, c.device_name);
    g_free(name);
  }

  guint max_buffers = 0;
  gboolean emit = FALSE;
  g_object_get(g_slots.sink, "max-buffers", &max_buffers, "emit-signals", &emit, nullptr);
  EXPECT_EQ(max_buffers, 3u);
  EXPECT_TRUE(emit);
  const guint new_sample = g_signal_lookup("new-sample", G_OBJECT_TYPE(g_slots.sink));
  EXPECT_NE(g_signal_handler_find(g_slots.sink, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_FUNC), new_sample,
                                  0, nullptr, reinterpret_cast<gpointer>(OnNewSample), nullptr),
            0u);

  // Every element goes with the pipeline.
  gpointer source = g_slots.source, sink = g_slots.sink, converter = g_slots.converter;
  gpointer pipeline = g_slots.pipeline;
  g_object_add_weak_pointer(G_OBJECT(source), &source);
  g_object_add_weak_pointer(G_OBJECT(sink), &sink);
  g_object_add_weak_pointer(G_OBJECT(converter), &converter);
  g_object_add_weak_pointer(G_OBJECT(pipeline), &pipeline);

  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  ExpectOutputSlotsEmpty();
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_EQ(g_slots.bus_watch_id, 0u);
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(sink, nullptr);
  EXPECT_EQ(converter, nullptr);
  EXPECT_EQ(pipeline, nullptr);
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Chains, OutputShape, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

// A required factory taken out of the registry.
struct MissingCase {
  const char* factory;
  bool network;
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.factory; }

class MissingElement : public ::testing::TestWithParam<MissingCase> {};

TEST_P(MissingElement, FailsCleanlyAndLeavesTheQueueOpenUntilTheEnd) {
  const MissingCase& c = GetParam();
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  // After strova_init, which would otherwise bring its own camera stand-in.
  const auto removed = RemoveFactory(c.factory);
  ASSERT_TRUE(removed->ok());

  testing::internal::CaptureStderr();
  const int port = c.network ? FreeUdpPort() : 0;
  EXPECT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "One element could not be created. Exiting.\n");
  ExpectOutputSlotsEmpty();
  EXPECT_EQ(g_slots.bus_watch_id, 0u);
  EXPECT_EQ(g_slots.rtp_input, c.network);

  ASSERT_NE(g_slots.frame_queue, nullptr);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.Header().state, 1u);
  EXPECT_EQ(reader.Header().width, 320u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_EQ(reader.Header().state, 3u);
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Factories, MissingElement,
                         ::testing::Values(MissingCase{"videoconvert", true}, MissingCase{"tee", true},
                                           MissingCase{"queue", true}, MissingCase{"appsink", true},
                                           MissingCase{"udpsrc", true}, MissingCase{"rtpjitterbuffer", true},
                                           MissingCase{"rtph264depay", true}, MissingCase{"avdec_h264", true},
                                           MissingCase{"mfvideosrc", false}, MissingCase{"appsink", false}),
                         [](const auto& info) {
                           return std::string(info.param.network ? "Network_" : "Camera_") + info.param.factory;
                         });

TEST(OutputStart, MissingJpegDecoderIsNotRequired) {
  testcamera::Register();
  const auto removed = RemoveFactory("jpegdec");
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(strova_startoutput(1, nullptr, 0, "image/jpeg", 320, 240, 30, 1), 1);
  EXPECT_EQ(g_slots.decoder, nullptr);
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), kCameraElements);
  // JPEG cannot go into the converter: that link fails, the rest stands.
  EXPECT_EQ(ChainFrom(g_slots.source), "webcam-source");
  EXPECT_EQ(ChainFrom(g_slots.converter), "converter" + kNv12Tee);
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
  strova_release();
}

TEST(OutputStart, BeforeInitDoesNothing) {
  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_FALSE(FrameQueueReader().Open());
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
}

// udpsrc would listen on its default port 5004 instead; 0 still means the camera.
TEST(OutputStart, RefusesAPortItCannotListenOn) {
  ASSERT_EQ(strova_init(1), 1);
  for (int port : {-1, 65536, 70000, INT32_MIN}) {
    SCOPED_TRACE(port);
    testing::internal::CaptureStderr();
    EXPECT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ExpectOutputSlotsEmpty();
    EXPECT_EQ(g_slots.frame_queue, nullptr) << "nothing is made, not even the queue";
    EXPECT_FALSE(FrameQueueReader().Open());
    EXPECT_EQ(strova_endoutput(), 1);
  }
  testcamera::Register();
  EXPECT_EQ(strova_startoutput(0, nullptr, 0, "video/x-raw", 320, 240, 30, 1), 1);
  EXPECT_FALSE(g_slots.rtp_input);
  EXPECT_EQ(strova_endoutput(), 1);
  strova_release();
}

TEST(OutputStart, WhileRunningLeavesThePipelineUntouched) {
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 1);
  const EngineSlots before = g_slots;
  EXPECT_EQ(strova_startoutput(0, nullptr, 0, "video/x-raw", 640, 480, 30, 1), 0);
  EXPECT_EQ(g_slots.pipeline, before.pipeline);
  EXPECT_EQ(g_slots.source, before.source);
  EXPECT_EQ(g_slots.depay, before.depay);
  EXPECT_EQ(g_slots.converter, before.converter);
  EXPECT_EQ(g_slots.sink, before.sink);
  EXPECT_EQ(g_slots.frame_queue, before.frame_queue);
  EXPECT_EQ(g_slots.bus_watch_id, before.bus_watch_id);
  EXPECT_TRUE(g_slots.rtp_input);
  EXPECT_EQ(g_slots.kind, PipelineKind::Output);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.Header().width, 320u);
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
  strova_release();
}

TEST(OutputStart, ClosesAQueueLeftByAFailedStart) {
  testcamera::Register();
  const auto removed = RemoveFactory("avdec_h264");
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  FrameQueueReader earlier;
  ASSERT_TRUE(earlier.Open());
  EXPECT_EQ(earlier.Header().state, 1u);

  // The camera chain needs no H.264 decoder.
  ASSERT_EQ(strova_startoutput(0, nullptr, 0, "video/x-raw", 320, 240, 30, 1), 1);
  EXPECT_EQ(earlier.Header().state, 3u);
  ASSERT_NE(g_slots.frame_queue, nullptr);
  FrameQueueReader current;
  ASSERT_TRUE(current.Open());
  EXPECT_TRUE(WaitFor([&] { return current.Header().read_index > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(current.Header().state, 2u);
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(current.Header().state, 3u);
  strova_release();
}

TEST(OutputEnd, LeavesAPipelineOfAnotherKindAlone) {
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_NE(conventions::MakePipeline("kxpcbox", PipelineKind::CameraPreview), nullptr);
  conventions::AddBusWatch();
  GstElement* other = g_slots.pipeline;

  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_FALSE(FrameQueueReader().Open());
  EXPECT_EQ(strova_playon(0x1234), 1);
  EXPECT_EQ(g_slots.play_sink, nullptr);

  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(g_slots.pipeline, other);
  EXPECT_EQ(g_slots.kind, PipelineKind::CameraPreview);

  ASSERT_TRUE(conventions::BeginEnd(PipelineKind::CameraPreview));
  conventions::FinishEnd();
  strova_release();
}

TEST(OutputEnd, SecondEndOnlyQuitsTheLoop) {
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_EQ(strova_startoutput(0, nullptr, 0, nullptr, 320, 240, 30, 1), 1);
  EXPECT_EQ(strova_endoutput(), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ExpectOutputSlotsEmpty();
  strova_release();
}

}  // namespace
