// Output pipeline: the choice of chain, the shape of the running pipeline
// (elements, links, caps, properties), teardown, a missing element, and the
// guards against a pipeline that exists already or is of another kind.
#include <gtest/gtest.h>

#include "engine/engine_slots.h"
#include "engine/frame_queue.h"
#include "engine/output_pipeline.h"
#include "tests/output/output_fixture.h"
#include "tests/output/tmp_region_reader.h"

namespace {

using namespace outputtest;

TEST(OutputDecisions, ChainAndDecoderAndCaps) {
  EXPECT_TRUE(UsesNetworkChain(nullptr, 51035));
  EXPECT_TRUE(UsesNetworkChain(nullptr, -1));
  EXPECT_FALSE(UsesNetworkChain(nullptr, 0));
  EXPECT_FALSE(UsesNetworkChain("USB Camera", 51035));
  EXPECT_FALSE(UsesNetworkChain("", 0));

  EXPECT_FALSE(WantsJpegDecoder(nullptr));
  EXPECT_FALSE(WantsJpegDecoder("video/x-raw"));
  EXPECT_FALSE(WantsJpegDecoder("image/JPEG"));
  EXPECT_TRUE(WantsJpegDecoder("image/jpeg"));
  EXPECT_TRUE(WantsJpegDecoder("xjpegx"));

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
  EXPECT_EQ(g_slots.decoder, nullptr);
  EXPECT_EQ(g_slots.converter, nullptr);
  EXPECT_EQ(g_slots.tee, nullptr);
  EXPECT_EQ(g_slots.app_queue, nullptr);
  EXPECT_EQ(g_slots.sink, nullptr);
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(g_slots.kind, PipelineKind::None);
}

constexpr const char* kNv12 = "video/x-raw, format=(string)NV12";
const std::string kTail = std::string(" -[") + kNv12 + "]-> tee -> queue-app -> app-sink";

struct ShapeCase {
  const char* name;
  const char* device_name;
  bool network_port;  // a free port, else 0
  const char* media_type;
  int width, height, framerate;
  bool jpeg_camera;
  std::string chain;
  std::vector<std::string> elements;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kNetworkElements = {"app-sink",   "avdec-h264", "converter", "queue-app",
                                                   "rtph264-depay", "tee",     "udp-source"};
const std::vector<std::string> kCameraElements = {"app-sink", "converter", "queue-app", "tee", "webcam-source"};
const std::vector<std::string> kJpegElements = {"app-sink",  "converter", "jpegdecoder",
                                                "queue-app", "tee",       "webcam-source"};
const std::string kNetworkChain =
    "udp-source -[application/x-rtp, payload=(int)96]-> rtph264-depay -> avdec-h264 -> converter" + kTail;
const std::string kRawSized = "webcam-source -[video/x-raw, width=(int)320, height=(int)240]-> converter" + kTail;
const std::string kRawPlain = "webcam-source -> converter" + kTail;

const ShapeCase kShapes[] = {
    {"Network", nullptr, true, "video/x-raw", 320, 240, 30, false, kNetworkChain, kNetworkElements},
    {"NetworkIgnoresJpegTypeAndSizes", nullptr, true, "image/jpeg", 0, -5, 0, false, kNetworkChain,
     kNetworkElements},
    {"CameraByIndex", nullptr, false, "video/x-raw", 320, 240, 30, false, kRawSized, kCameraElements},
    {"CameraByNameWinsOverPort", "Front Camera", true, "video/x-raw", 320, 240, 30, false, kRawSized,
     kCameraElements},
    {"CameraNullMediaType", nullptr, false, nullptr, 320, 240, 30, false, kRawSized, kCameraElements},
    {"CameraZeroWidthNoCaps", nullptr, false, "video/x-raw", 0, 240, 30, false, kRawPlain, kCameraElements},
    {"CameraNegativeHeightNoCaps", nullptr, false, "video/x-raw", 320, -1, 30, false, kRawPlain, kCameraElements},
    {"CameraZeroFramerateNoCaps", nullptr, false, "video/x-raw", 320, 240, 0, false, kRawPlain, kCameraElements},
    {"CameraJpegSized", nullptr, false, "image/jpeg", 320, 240, 30, true,
     "webcam-source -[image/jpeg, width=(int)320, height=(int)240]-> jpegdecoder -> converter" + kTail,
     kJpegElements},
    {"CameraJpegUnsized", "Front Camera", false, "image/jpeg", 320, 240, -30, true,
     "webcam-source -> jpegdecoder -> converter" + kTail, kJpegElements},
};

class OutputShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(OutputShape, RunningPipelineHasTheChainAndTearsDownCompletely) {
  const ShapeCase& c = GetParam();
  RegisterFakeCamera(c.jpeg_camera);
  ASSERT_EQ(strova_init(1), 1);
  const int port = c.network_port ? FreeUdpPort() : 0;
  ASSERT_EQ(strova_startoutput(7, c.device_name, port, c.media_type, c.width, c.height, c.framerate, 1), 1);

  ASSERT_NE(g_slots.pipeline, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.pipeline), "kxclient");
  EXPECT_EQ(g_slots.kind, PipelineKind::Output);
  EXPECT_EQ(ElementNames(g_slots.pipeline), c.elements);
  EXPECT_EQ(ChainFrom(g_slots.pipeline, GST_OBJECT_NAME(g_slots.source)), c.chain);
  EXPECT_NE(g_slots.bus_watch_id, 0u);
  EXPECT_NE(g_slots.frame_queue, nullptr);

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
    EXPECT_EQ(index, c.device_name ? 0 : 7);
    EXPECT_STREQ(name, c.device_name);
    g_free(name);
  }

  guint max_buffers = 0;
  gboolean emit = FALSE;
  g_object_get(g_slots.sink, "max-buffers", &max_buffers, "emit-signals", &emit, nullptr);
  EXPECT_EQ(max_buffers, 3u);
  EXPECT_TRUE(emit);
  const guint new_sample = g_signal_lookup("new-sample", G_OBJECT_TYPE(g_slots.sink));
  EXPECT_NE(g_signal_handler_find(g_slots.sink, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_FUNC),
                                  new_sample, 0, nullptr, reinterpret_cast<gpointer>(OnNewSample), nullptr),
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
  RegisterFakeCamera(false);
  RemoveFactory(c.factory);
  ASSERT_EQ(strova_init(1), 1);

  testing::internal::CaptureStderr();
  const int port = c.network ? FreeUdpPort() : 0;
  EXPECT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "One element could not be created. Exiting.\n");
  ExpectOutputSlotsEmpty();
  EXPECT_EQ(g_slots.bus_watch_id, 0u);
  EXPECT_EQ(g_slots.rtp_input, c.network);

  ASSERT_NE(g_slots.frame_queue, nullptr);
  RegionReader reader;
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.state(), 1u);
  EXPECT_EQ(reader.width(), 320u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_EQ(reader.state(), 3u);
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Factories, MissingElement,
                         ::testing::Values(MissingCase{"videoconvert", true}, MissingCase{"tee", true},
                                           MissingCase{"queue", true}, MissingCase{"appsink", true},
                                           MissingCase{"udpsrc", true}, MissingCase{"rtph264depay", true},
                                           MissingCase{"avdec_h264", true}, MissingCase{"mfvideosrc", false},
                                           MissingCase{"appsink", false}),
                         [](const auto& info) {
                           return std::string(info.param.network ? "Network_" : "Camera_") +
                                  info.param.factory;
                         });

TEST(OutputStart, MissingJpegDecoderIsNotRequired) {
  RegisterFakeCamera(true);
  RemoveFactory("jpegdec");
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(strova_startoutput(0, nullptr, 0, "image/jpeg", 320, 240, 30, 1), 1);
  EXPECT_EQ(g_slots.decoder, nullptr);
  EXPECT_EQ(ElementNames(g_slots.pipeline), kCameraElements);
  // JPEG cannot go into the converter: that link fails, the rest stands.
  EXPECT_EQ(ChainFrom(g_slots.pipeline, "webcam-source"), "webcam-source");
  EXPECT_EQ(ChainFrom(g_slots.pipeline, "converter"), "converter" + kTail);
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
  strova_release();
}

TEST(OutputStart, BeforeInitDoesNothing) {
  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_FALSE(RegionReader().Open());
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
}

TEST(OutputStart, WhileRunningLeavesThePipelineUntouched) {
  RegisterFakeCamera(false);
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
  RegionReader reader;
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.width(), 320u);
  EXPECT_EQ(strova_endoutput(), 1);
  ExpectOutputSlotsEmpty();
  strova_release();
}

TEST(OutputStart, ClosesAQueueLeftByAFailedStart) {
  RegisterFakeCamera(false);
  RemoveFactory("avdec_h264");
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  RegionReader earlier;
  ASSERT_TRUE(earlier.Open());
  EXPECT_EQ(earlier.state(), 1u);

  // The camera chain needs no H.264 decoder.
  ASSERT_EQ(strova_startoutput(0, nullptr, 0, "video/x-raw", 320, 240, 30, 1), 1);
  EXPECT_EQ(earlier.state(), 3u);
  ASSERT_NE(g_slots.frame_queue, nullptr);
  RegionReader current;
  ASSERT_TRUE(current.Open());
  EXPECT_TRUE(WaitFor([&] { return current.read_index() > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(current.state(), 2u);
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(current.state(), 3u);
  strova_release();
}

TEST(OutputEnd, LeavesAPipelineOfAnotherKindAlone) {
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_NE(conventions::MakePipeline("kxpcbox", PipelineKind::CameraPreview), nullptr);
  conventions::AddBusWatch();
  GstElement* other = g_slots.pipeline;

  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_FALSE(RegionReader().Open());
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
  RegisterFakeCamera(false);
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
