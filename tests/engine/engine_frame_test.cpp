// Engine frame: strova_init's environment, the bus watch and strova_wait.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "engine/engine_slots.h"
#include "engine/pipeline_conventions.h"
#include "engine/strova.h"
#include "platform/process.h"

namespace {

std::string Env(const char* name) { return platform::GetEnv(name).value_or("<unset>"); }

TEST(StrovaInit, EnvReadyLeavesTheEnvironmentAlone) {
  setenv("PATH", "/usr/bin:/bin", 1);
  unsetenv("GST_DEBUG");
  setenv("GST_PLUGIN_PATH", "/custom", 1);
  unsetenv("GST_PLUGIN_SYSTEM_PATH");
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(Env("PATH"), "/usr/bin:/bin");
  EXPECT_EQ(Env("GST_DEBUG"), "<unset>");
  EXPECT_EQ(Env("GST_PLUGIN_PATH"), "/custom");
  EXPECT_EQ(Env("GST_PLUGIN_SYSTEM_PATH"), "<unset>");
  EXPECT_NE(g_slots.main_loop, nullptr);
  EXPECT_TRUE(gst_is_initialized());
  EXPECT_EQ(strova_release(), 1);
}

TEST(StrovaInit, PreparesTheRuntimeBesideTheLibrary) {
  // Linked statically here, the engine's own module is this test program.
  const std::string folder = platform::ProgramFolder();
  for (const char* old_path : {"", "/usr/bin:/bin"}) {
    setenv("PATH", old_path, 1);
    ASSERT_EQ(strova_init(0), 1);
    EXPECT_EQ(Env("PATH"), *old_path ? folder + "gst:" + old_path : folder + "gst");
    EXPECT_EQ(Env("GST_DEBUG"), "3");
    EXPECT_EQ(Env("GST_PLUGIN_PATH"), folder + "gst/lib");
    EXPECT_EQ(Env("GST_PLUGIN_SYSTEM_PATH"), folder + "gst/lib");
    // Put the system plugins back for the rest of the process.
    unsetenv("GST_PLUGIN_PATH");
    unsetenv("GST_PLUGIN_SYSTEM_PATH");
    g_main_loop_unref(g_slots.main_loop);
    g_slots.main_loop = nullptr;
  }
}

TEST(StrovaInit, EmptiesTheElementSlots) {
  GstElement* stale = reinterpret_cast<GstElement*>(0x10);
  g_slots.source = g_slots.decoder = g_slots.play_sink = g_slots.net_sink = stale;
  ASSERT_EQ(strova_init(1), 1);
  EXPECT_EQ(g_slots.source, nullptr);
  EXPECT_EQ(g_slots.decoder, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(g_slots.net_sink, nullptr);
  strova_release();
}

// A pipeline with the engine's bus watch, and a message posted on its bus
// from another thread while strova_wait runs.
struct BusCase {
  const char* name;
  GstMessageType type;
  const char* printed;
  bool on_stderr;
};

void PrintTo(const BusCase& c, std::ostream* os) { *os << c.name; }

class BusWatch : public ::testing::TestWithParam<BusCase> {};

TEST_P(BusWatch, MessageIsPrintedAndStrovaWaitReturns) {
  const BusCase& c = GetParam();
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_NE(conventions::MakePipeline("kxpcbox", PipelineKind::StreamPreview), nullptr);
  conventions::AddBusWatch();
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(g_slots.pipeline));
  std::thread poster([&] {
    g_usleep(100'000);
    GstMessage* message;
    if (c.type == GST_MESSAGE_EOS) {
      message = gst_message_new_eos(GST_OBJECT(g_slots.pipeline));
    } else {
      GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, "camera went away");
      message = gst_message_new_error(GST_OBJECT(g_slots.pipeline), error, "debug details");
      g_error_free(error);
    }
    gst_bus_post(bus, message);
  });
  c.on_stderr ? testing::internal::CaptureStderr() : testing::internal::CaptureStdout();
  EXPECT_EQ(strova_wait(), 1);
  fflush(stdout);
  const std::string out = c.on_stderr ? testing::internal::GetCapturedStderr() : testing::internal::GetCapturedStdout();
  poster.join();
  EXPECT_EQ(out, c.printed);
  // The watch leaves the pipeline in place.
  EXPECT_NE(g_slots.pipeline, nullptr);
  gst_object_unref(bus);
  g_source_remove(g_slots.bus_watch_id);
  gst_object_unref(g_slots.pipeline);
  g_slots.pipeline = nullptr;
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Messages, BusWatch,
                         ::testing::Values(BusCase{"EndOfStream", GST_MESSAGE_EOS, "End of stream\n", false},
                                           BusCase{"Error", GST_MESSAGE_ERROR, "Error: camera went away\n", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BusWatch, OnlyEndAndErrorMessagesWaitOnTheBus) {
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_NE(conventions::MakePipeline("kxclient", PipelineKind::Output), nullptr);
  conventions::AddBusWatch();
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(g_slots.pipeline));
  for (int i = 0; i < 1000; ++i) {
    gst_bus_post(bus, gst_message_new_element(GST_OBJECT(g_slots.pipeline), gst_structure_new_empty("qos-like")));
    gst_bus_post(bus, gst_message_new_state_changed(GST_OBJECT(g_slots.pipeline), GST_STATE_NULL, GST_STATE_READY,
                                                    GST_STATE_VOID_PENDING));
  }
  EXPECT_FALSE(gst_bus_have_pending(bus));
  gst_bus_post(bus, gst_message_new_eos(GST_OBJECT(g_slots.pipeline)));
  GstMessage* queued = gst_bus_peek(bus);
  ASSERT_NE(queued, nullptr);
  EXPECT_EQ(GST_MESSAGE_TYPE(queued), GST_MESSAGE_EOS);
  gst_message_unref(queued);
  gst_object_unref(bus);
  // Ending the pipeline frees it although its end-of-stream still waits on
  // the bus, and the dropped messages hold nothing.
  gpointer pipeline = g_slots.pipeline;
  g_object_add_weak_pointer(G_OBJECT(pipeline), &pipeline);
  testing::internal::CaptureStdout();
  conventions::FinishEnd();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_EQ(pipeline, nullptr);
  strova_release();
}

TEST(StrovaRelease, BeforeInitDoesNothing) { EXPECT_EQ(strova_release(), 1); }

// GStreamer cannot be initialised a second time in a process: a new init is
// refused, and every export after it does nothing and returns.
TEST(StrovaRelease, InitAfterReleaseIsRefusedAndEveryExportStaysHarmless) {
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_EQ(strova_release(), 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(strova_init(1), STROVA_INIT_AFTER_RELEASE);
  EXPECT_EQ(strova_init(0), STROVA_INIT_AFTER_RELEASE);
  EXPECT_LT(STROVA_INIT_AFTER_RELEASE, 0);
  EXPECT_EQ(g_slots.main_loop, nullptr);
  EXPECT_EQ(strova_startoutput(0, nullptr, 5004, "video/x-raw", 320, 240, 30, 1), 0);
  EXPECT_EQ(g_slots.frame_queue, nullptr);
  EXPECT_EQ(strova_playon(0x1234), 1);
  EXPECT_EQ(strova_playoff(), 1);
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(strova_startplay(0, nullptr, nullptr, 320, 240, 30, 1, 0), 0);
  EXPECT_EQ(strova_endplay(), 1);
  EXPECT_EQ(strova_startstream(0, nullptr, nullptr, 320, 240, 30, 1, "127.0.0.1", 5004), 0);
  EXPECT_EQ(strova_endstream(), 1);
  EXPECT_EQ(strova_startplaystream(5004, 96, 0), 0);
  EXPECT_EQ(strova_endplaystream(), 1);
  EXPECT_EQ(strova_wait(), 1);
  EXPECT_EQ(strova_release(), 1);
  EXPECT_EQ(strova_release(), 1);
  EXPECT_EQ(g_slots.pipeline, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
