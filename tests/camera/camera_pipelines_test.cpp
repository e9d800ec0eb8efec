// The three "kxpcbox" pipelines as built: elements and their order, links and
// the caps on them, properties, teardown, and starts and ends across kinds.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_slots.h"
#include "engine/pipeline_arguments.h"
#include "engine/pipeline_conventions.h"
#include "engine/strova.h"
#include "tests/camera/camera_support.h"

namespace {

using camerasupport::ChainFrom;
using camerasupport::ElementsInAddOrder;
using camerasupport::EngineTest;
using camerasupport::Family;
using camerasupport::HeldElements;
using camerasupport::IntProperty;
using camerasupport::kFamilies;
using camerasupport::StringProperty;
using Names = std::vector<std::string>;

// ------------------------------------------------------------ pure pieces

TEST(JpegRule, FindsJpegAnywhereCaseSensitively) {
  EXPECT_TRUE(IsJpegMediaType("image/jpeg"));
  EXPECT_TRUE(IsJpegMediaType("x-jpeg-ish"));
  EXPECT_FALSE(IsJpegMediaType("image/JPEG"));
  EXPECT_FALSE(IsJpegMediaType("video/x-raw"));
  EXPECT_FALSE(IsJpegMediaType(nullptr));
}

TEST(SourceCaps, FollowTheNumbersAndTheDenominatorRule) {
  gst_init(nullptr, nullptr);
  struct Case {
    const char* media_type;
    int width, height, framerate, den;
    const char* caps;  // nullptr: no caps
  };
  const Case cases[] = {
      {"image/jpeg", 1280, 720, 30, 1, "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30/1"},
      {"video/x-raw", 640, 480, 30, 0, "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1"},
      {"video/x-raw", 640, 480, 25, -7, "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)25/1"},
      {"video/x-raw", 640, 480, 30000, 1001,
       "video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30000/1001"},
      {nullptr, 320, 240, 15, 1, "video/x-raw, width=(int)320, height=(int)240, framerate=(fraction)15/1"},
      {"video/x-raw", 0, 480, 30, 1, nullptr},
      {"video/x-raw", 640, 0, 30, 1, nullptr},
      {"video/x-raw", 640, 480, 0, 1, nullptr},
      {"video/x-raw", -640, 480, 30, 1, nullptr},
      // Text that cannot name caps gives no caps rather than a broken link.
      {"", 640, 480, 30, 1, nullptr},
      {"video/x-raw, format=NV12", 640, 480, 30, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.media_type ? c.media_type : "<null>");
    GstCaps* caps = MakeSourceCaps(c.media_type, c.width, c.height, c.framerate, c.den);
    if (!c.caps) {
      EXPECT_EQ(caps, nullptr);
      continue;
    }
    ASSERT_NE(caps, nullptr);
    gchar* text = gst_caps_to_string(caps);
    EXPECT_STREQ(text, c.caps);
    g_free(text);
    gst_caps_unref(caps);
  }
}

// ------------------------------------------------------------ camera preview

struct ChainCase {
  const char* name;
  const char* media_type;
  int width, height, framerate, den;
  Names elements;     // in the order they went into the pipeline
  const char* chain;  // from the camera to the last element
};

void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }
std::string CaseName(const testing::TestParamInfo<ChainCase>& info) { return info.param.name; }

class CameraPreviewChain : public EngineTest, public testing::WithParamInterface<ChainCase> {};

TEST_P(CameraPreviewChain, IsBuiltAsAskedAndTornDown) {
  const ChainCase& c = GetParam();
  ASSERT_EQ(strova_startplay(0, nullptr, c.media_type, c.width, c.height, c.framerate, c.den, 0), 1);
  ASSERT_NE(g_slots.pipeline, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.pipeline), "kxpcbox");
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), c.elements);
  EXPECT_EQ(ChainFrom(g_slots.source), c.chain);
  EXPECT_NE(g_slots.bus_watch_id, 0u);

  HeldElements held(g_slots.pipeline);
  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endplay(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_TRUE(held.AllTakenOutAndUnlinked());
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(g_slots.decoder, nullptr);
}

const Names kPreviewJpeg = {"webcam-source", "jpegdecoder", "converter", "video-output"};
const Names kPreviewRaw = {"webcam-source", "converter", "video-output"};

INSTANTIATE_TEST_SUITE_P(
    Cases, CameraPreviewChain,
    testing::Values(
        ChainCase{"Jpeg720p", "image/jpeg", 1280, 720, 30, 1, kPreviewJpeg,
                  "webcam-source -{image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30/1}-> "
                  "jpegdecoder -> converter -> video-output"},
        ChainCase{"RawDenominatorZero", "video/x-raw", 640, 480, 30, 0, kPreviewRaw,
                  "webcam-source -{video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1}-> "
                  "converter -> video-output"},
        ChainCase{"RawDenominatorNegative", "video/x-raw", 640, 480, 30, -2, kPreviewRaw,
                  "webcam-source -{video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1}-> "
                  "converter -> video-output"},
        ChainCase{"JpegWidthZero", "image/jpeg", 0, 720, 30, 1, kPreviewJpeg,
                  "webcam-source -> jpegdecoder -> converter -> video-output"},
        ChainCase{"JpegHeightZero", "image/jpeg", 1280, 0, 30, 1, kPreviewJpeg,
                  "webcam-source -> jpegdecoder -> converter -> video-output"},
        ChainCase{"JpegFramerateZero", "image/jpeg", 1280, 720, 0, 1, kPreviewJpeg,
                  "webcam-source -> jpegdecoder -> converter -> video-output"},
        ChainCase{"RawWidthZero", "video/x-raw", 0, 480, 30, 1, kPreviewRaw,
                  "webcam-source -> converter -> video-output"},
        ChainCase{"NullMediaType", nullptr, 320, 240, 15, 1, kPreviewRaw,
                  "webcam-source -{video/x-raw, width=(int)320, height=(int)240, framerate=(fraction)15/1}-> "
                  "converter -> video-output"},
        ChainCase{"CapitalJpeg", "image/JPEG", 0, 0, 0, 0, kPreviewRaw, "webcam-source -> converter -> video-output"}),
    CaseName);

// ------------------------------------------------------------ camera choice

struct ChoiceCase {
  const char* name;
  int index;
  const char* device_name;
  int index_seen;         // the source's "device-index" afterwards
  const char* name_seen;  // its "device-name"
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class CameraChoice : public EngineTest, public testing::WithParamInterface<ChoiceCase> {};

TEST_P(CameraChoice, NameWinsOverIndex) {
  const ChoiceCase& c = GetParam();
  // The choice is made with caps and without them alike.
  for (int width : {640, 0}) {
    ASSERT_EQ(strova_startplay(c.index, c.device_name, "video/x-raw", width, 480, 30, 1, 0), 1);
    EXPECT_EQ(IntProperty(g_slots.source, "device-index"), c.index_seen);
    EXPECT_EQ(StringProperty(g_slots.source, "device-name"), c.name_seen);
    strova_endplay();
  }
  ASSERT_EQ(strova_startstream(c.index, c.device_name, "video/x-raw", 640, 480, 30, 1, "127.0.0.1", 5000), 1);
  EXPECT_EQ(IntProperty(g_slots.source, "device-index"), c.index_seen);
  EXPECT_EQ(StringProperty(g_slots.source, "device-name"), c.name_seen);
  strova_endstream();
}

INSTANTIATE_TEST_SUITE_P(Cases, CameraChoice,
                         testing::Values(ChoiceCase{"NameAndIndex", 5, "JPEG Test Camera", -1, "JPEG Test Camera"},
                                         ChoiceCase{"IndexOnly", 1, nullptr, 1, "<null>"},
                                         ChoiceCase{"NegativeIndex", -3, nullptr, -3, "<null>"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ camera stream-out

class CameraStreamChain : public EngineTest, public testing::WithParamInterface<ChainCase> {};

TEST_P(CameraStreamChain, IsBuiltAsAskedAndTornDown) {
  const ChainCase& c = GetParam();
  ASSERT_EQ(strova_startstream(0, nullptr, c.media_type, c.width, c.height, c.framerate, c.den, "127.0.0.1", 5004), 1);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.pipeline), "kxpcbox");
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), c.elements);
  EXPECT_EQ(ChainFrom(g_slots.source), c.chain);
  gboolean low_latency = FALSE;
  guint quality_vs_speed = 100;
  g_object_get(g_slots.encoder, "low-latency", &low_latency, "quality-vs-speed", &quality_vs_speed, nullptr);
  EXPECT_TRUE(low_latency);
  EXPECT_EQ(quality_vs_speed, 0u);
  EXPECT_EQ(StringProperty(g_slots.net_sink, "host"), "127.0.0.1");
  EXPECT_EQ(IntProperty(g_slots.net_sink, "port"), 5004);

  HeldElements held(g_slots.pipeline);
  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endstream(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_TRUE(held.AllTakenOutAndUnlinked());
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(g_slots.decoder, nullptr);
}

const Names kStreamJpeg = {"webcam-source", "jpegdecoder", "converter", "h264-encoder", "rtp-pay", "udp-sink"};
const Names kStreamRaw = {"webcam-source", "h264-encoder", "rtp-pay", "udp-sink"};

INSTANTIATE_TEST_SUITE_P(
    Cases, CameraStreamChain,
    testing::Values(
        ChainCase{"Raw640", "video/x-raw", 640, 480, 30, 1, kStreamRaw,
                  "webcam-source -{video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1}-> "
                  "h264-encoder -> rtp-pay -> udp-sink"},
        ChainCase{"Jpeg640", "image/jpeg", 640, 480, 30, 1, kStreamJpeg,
                  "webcam-source -{image/jpeg, width=(int)640, height=(int)480, framerate=(fraction)30/1}-> "
                  "jpegdecoder -> converter -> h264-encoder -> rtp-pay -> udp-sink"},
        ChainCase{"RawWidthZero", "video/x-raw", 0, 480, 30, 1, kStreamRaw,
                  "webcam-source -> h264-encoder -> rtp-pay -> udp-sink"},
        ChainCase{"JpegFramerateZero", "image/jpeg", 640, 480, 0, 1, kStreamJpeg,
                  "webcam-source -> jpegdecoder -> converter -> h264-encoder -> rtp-pay -> udp-sink"},
        ChainCase{"NullMediaTypeDenominatorZero", nullptr, 640, 480, 30, 0, kStreamRaw,
                  "webcam-source -{video/x-raw, width=(int)640, height=(int)480, framerate=(fraction)30/1}-> "
                  "h264-encoder -> rtp-pay -> udp-sink"}),
    CaseName);

// ------------------------------------------------------------ stream preview

TEST_F(EngineTest, StreamPreviewIsBuiltAsAskedAndTornDown) {
  ASSERT_EQ(strova_startplaystream(5000, 96, 0), 1);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.pipeline), "kxpcbox");
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), (Names{"udp-source", "depay", "decoder", "video-output"}));
  EXPECT_EQ(ChainFrom(g_slots.source),
            "udp-source -{application/x-rtp, payload=(int)96}-> depay -> decoder -> "
            "video-output");
  EXPECT_EQ(IntProperty(g_slots.source, "port"), 5000);
  EXPECT_NE(g_slots.bus_watch_id, 0u);

  HeldElements held(g_slots.pipeline);
  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endplaystream(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_TRUE(held.AllTakenOutAndUnlinked());
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(g_slots.decoder, nullptr);
}

TEST(UdpPort, IsOneTo65535) {
  for (int port : {1, 5000, 65535}) EXPECT_TRUE(IsUdpPort(port)) << port;
  for (int port : {0, -1, 65536, INT32_MIN}) EXPECT_FALSE(IsUdpPort(port)) << port;
}

TEST_F(EngineTest, StreamPreviewRefusesAPortItCannotListenOn) {
  for (int port : {0, -1, 65536}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(strova_startplaystream(port, 96, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(g_slots.pipeline, nullptr);
  }
}

TEST_F(EngineTest, StreamOutRefusesNoHostOrAPortItCannotSendTo) {
  struct Case {
    const char* host;
    int port;
  };
  for (const Case& c : {Case{nullptr, 5000}, Case{"127.0.0.1", 0}, Case{"127.0.0.1", 65536}}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(strova_startstream(0, nullptr, "video/x-raw", 640, 480, 30, 1, c.host, c.port), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(g_slots.pipeline, nullptr);
    EXPECT_EQ(g_slots.source, nullptr);
  }
}

// ------------------------------------------------------------ ends and kinds

class EachFamily : public testing::TestWithParam<Family> {};

TEST_P(EachFamily, EndBeforeInitDoesNothing) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetParam().end(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_P(EachFamily, StartBeforeInitReturnsZero) {
  EXPECT_EQ(GetParam().start(), 0);
  EXPECT_EQ(g_slots.pipeline, nullptr);
}

TEST_P(EachFamily, SecondEndOnlyQuitsTheLoop) {
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_EQ(GetParam().start(), 1);
  ASSERT_EQ(GetParam().end(), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(GetParam().end(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(g_slots.pipeline, nullptr);
  strova_release();
}

TEST_P(EachFamily, EndWithoutAPipelineReleasesAThreadInStrovaWait) {
  ASSERT_EQ(strova_init(1), 1);
  camerasupport::EndWhileWaiting(GetParam());
  strova_release();
}

TEST_P(EachFamily, LeavesAPipelineOfAnotherKindAlone) {
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  // The output pipeline's kind stands in through the shared convention.
  ASSERT_NE(conventions::MakePipeline("kxclient", PipelineKind::Output), nullptr);
  GstElement* other = g_slots.pipeline;
  EXPECT_EQ(GetParam().start(), 0);
  EXPECT_EQ(GetParam().end(), 1);
  EXPECT_EQ(g_slots.pipeline, other);
  gst_object_unref(other);
  g_slots.pipeline = nullptr;
  g_slots.kind = PipelineKind::None;

  for (const Family& running : kFamilies) {
    if (running.kind == GetParam().kind) continue;
    SCOPED_TRACE(running.name);
    ASSERT_EQ(running.start(), 1);
    GstElement* pipeline = g_slots.pipeline;
    const guint watch = g_slots.bus_watch_id;
    EXPECT_EQ(GetParam().start(), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetParam().end(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(g_slots.pipeline, pipeline);
    EXPECT_EQ(g_slots.bus_watch_id, watch);
    EXPECT_EQ(g_slots.kind, running.kind);
    EXPECT_EQ(running.end(), 1);
  }
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Families, EachFamily, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
