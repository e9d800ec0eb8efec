// A start whose required element cannot be made: the message, result 0, no
// bus watch, nothing left in the slots or leaked (this program runs with
// leak detection under ASan), and the next start builds a clean chain.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "tests/camera/camera_support.h"

// Under ASan (leak detection and full stacks come from tests.cmake), GLib's
// own allocation while the library loads is not ours to mend.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer runtime's own hook
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }

namespace {

using camerasupport::ElementsInAddOrder;

struct MissingCase {
  const char* name;
  const char* factory;            // taken away for the first start
  EngineResult (*start)();        // the start that finds it missing
  EngineResult (*clean_start)();  // the next start, once it is back
  EngineResult (*end)();
  std::vector<std::string> clean;  // what the next start puts into its pipeline
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

EngineResult PreviewRaw() { return strova_startplay(0, nullptr, "video/x-raw", 320, 240, 30, 1, 0); }
EngineResult PreviewJpeg() { return strova_startplay(1, nullptr, "image/jpeg", 320, 240, 30, 1, 0); }
EngineResult StreamRaw() { return strova_startstream(0, nullptr, "video/x-raw", 320, 240, 30, 1, "127.0.0.1", 9); }
EngineResult StreamJpeg() { return strova_startstream(1, nullptr, "image/jpeg", 320, 240, 30, 1, "127.0.0.1", 9); }
EngineResult StreamPreview() { return strova_startplaystream(9, 96, 0); }

const std::vector<std::string> kPreview = {"webcam-source", "converter", "video-output"};
const std::vector<std::string> kStream = {"webcam-source", "h264-encoder", "rtp-pay", "udp-sink"};
const std::vector<std::string> kStreamPreview = {"udp-source", "depay", "decoder", "video-output"};

class MissingFactory : public camerasupport::EngineTest, public testing::WithParamInterface<MissingCase> {};

TEST_P(MissingFactory, FailsCleanlyAndTheNextStartIsWhole) {
  const MissingCase& c = GetParam();
  camerasupport::FactoryRemoved removed(c.factory);
  ASSERT_TRUE(removed.ok());

  testing::internal::CaptureStderr();
  EXPECT_EQ(c.start(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "One element could not be created. Exiting.\n");
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(g_slots.bus_watch_id, 0u);
  for (GstElement* slot : {g_slots.source, g_slots.depay, g_slots.decoder, g_slots.converter, g_slots.encoder,
                           g_slots.payloader, g_slots.net_sink, g_slots.sink}) {
    EXPECT_EQ(slot, nullptr);
  }

  removed.Restore();
  ASSERT_EQ(c.clean_start(), 1);
  EXPECT_EQ(ElementsInAddOrder(g_slots.pipeline), c.clean);
  EXPECT_EQ(c.end(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Factories, MissingFactory,
    testing::Values(MissingCase{"PreviewCamera", "mfvideosrc", PreviewRaw, PreviewRaw, strova_endplay, kPreview},
                    MissingCase{"PreviewConverter", "videoconvert", PreviewJpeg, PreviewRaw, strova_endplay, kPreview},
                    MissingCase{"PreviewSink", "glimagesink", PreviewJpeg, PreviewRaw, strova_endplay, kPreview},
                    MissingCase{"PreviewJpegDecoder", "jpegdec", PreviewJpeg, PreviewRaw, strova_endplay, kPreview},
                    MissingCase{"StreamCamera", "mfvideosrc", StreamRaw, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamJpegDecoder", "jpegdec", StreamJpeg, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamConverter", "videoconvert", StreamJpeg, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamEncoder", "mfh264enc", StreamJpeg, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamPayloader", "rtph264pay", StreamRaw, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamNetworkSink", "udpsink", StreamJpeg, StreamRaw, strova_endstream, kStream},
                    MissingCase{"StreamPreviewSource", "udpsrc", StreamPreview, StreamPreview, strova_endplaystream,
                                kStreamPreview},
                    MissingCase{"StreamPreviewDepayloader", "rtph264depay", StreamPreview, StreamPreview,
                                strova_endplaystream, kStreamPreview},
                    MissingCase{"StreamPreviewDecoder", "avdec_h264", StreamPreview, StreamPreview,
                                strova_endplaystream, kStreamPreview},
                    MissingCase{"StreamPreviewSink", "glimagesink", StreamPreview, StreamPreview, strova_endplaystream,
                                kStreamPreview}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
