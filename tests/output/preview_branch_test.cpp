// Preview branch under a private X server: attach, detach and attach again
// while frames keep reaching the queue; the end while attached; the calls
// that have nothing to do; and a screenshot of the window showing the video.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

#include "engine/engine_slots.h"
#include "engine/frame_queue_reader.h"
#include "engine/strova.h"
#include "tests/camera/x11_picture.h"
#include "tests/output/output_fixture.h"
#include "tests/support/xvfb.h"

namespace {

using namespace outputtest;
using camerasupport::X11Window;

constexpr int kWidth = 320, kHeight = 240;

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.ok());
    ASSERT_EQ(strova_init(1), 1);
  }
  void TearDown() override {
    strova_endoutput();
    sender_.reset();
    strova_release();
  }

  // The client's start, with a sender feeding it.
  void StartOutput() {
    port_ = FreeUdpPort();
    ASSERT_EQ(strova_startoutput(0, nullptr, port_, "video/x-raw", kWidth, kHeight, 30, 1), 1);
    ASSERT_TRUE(reader_.Open());
    sender_ = std::make_unique<RtpSender>(port_, kWidth, kHeight);
    ASSERT_TRUE(sender_->ok());
  }

  // Waits until `count` more frames have been published.
  bool MoreFrames(uint32_t count) {
    const uint32_t from = reader_.Header().read_index;
    return WaitFor([&] { return reader_.Header().read_index - from >= count; }, std::chrono::seconds(10));
  }

  static GstState CurrentState() {
    GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(g_slots.pipeline, &state, &pending, 0);
    return state;
  }

  testsupport::XvfbDisplay xvfb_{"640x480x24"};
  int port_ = 0;
  FrameQueueReader reader_;
  std::unique_ptr<RtpSender> sender_;
};

TEST_F(Preview, AttachDetachAttachKeepsFramesFlowing) {
  X11Window window(kWidth, kHeight);
  StartOutput();
  ASSERT_TRUE(MoreFrames(10));

  ASSERT_EQ(strova_playon(window.id()), 1);
  ASSERT_NE(g_slots.play_queue, nullptr);
  ASSERT_NE(g_slots.play_sink, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.play_queue), "queue-play");
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.play_sink), "video-output");
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app", "queue-play"}));
  EXPECT_EQ(camerasupport::ChainFrom(g_slots.play_queue), "queue-play -> video-output");
  EXPECT_TRUE(MoreFrames(15));

  gpointer queue = g_slots.play_queue, sink = g_slots.play_sink;
  g_object_add_weak_pointer(G_OBJECT(queue), &queue);
  g_object_add_weak_pointer(G_OBJECT(sink), &sink);
  ASSERT_EQ(strova_playoff(), 1);
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  // Out of the pipeline and down; what still holds them are the bus messages
  // they posted, which go with the pipeline at the end.
  EXPECT_EQ(gst_bin_get_by_name(GST_BIN(g_slots.pipeline), "queue-play"), nullptr);
  EXPECT_EQ(gst_bin_get_by_name(GST_BIN(g_slots.pipeline), "video-output"), nullptr);
  if (queue) {
    EXPECT_EQ(GST_STATE(queue), GST_STATE_NULL);
  }
  if (sink) {
    EXPECT_EQ(GST_STATE(sink), GST_STATE_NULL);
  }
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app"}));
  EXPECT_TRUE(MoreFrames(15));

  ASSERT_EQ(strova_playon(window.id()), 1);
  ASSERT_NE(g_slots.play_sink, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(g_slots.play_sink), "video-output");
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app", "queue-play"}));
  EXPECT_TRUE(MoreFrames(15));

  gpointer second_queue = g_slots.play_queue, second_sink = g_slots.play_sink;
  g_object_add_weak_pointer(G_OBJECT(second_queue), &second_queue);
  g_object_add_weak_pointer(G_OBJECT(second_sink), &second_sink);
  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(queue, nullptr) << "both branches are dropped with the pipeline";
  EXPECT_EQ(sink, nullptr);
  EXPECT_EQ(second_queue, nullptr);
  EXPECT_EQ(second_sink, nullptr);
  EXPECT_EQ(reader_.Header().state, 3u);
}

TEST_F(Preview, ManySwitchesNeverStallTheQueue) {
  X11Window window(kWidth, kHeight);
  StartOutput();
  ASSERT_TRUE(MoreFrames(5));
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE("switch " + std::to_string(i));
    ASSERT_EQ(strova_playon(window.id()), 1);
    ASSERT_TRUE(MoreFrames(3));
    ASSERT_EQ(strova_playoff(), 1);
    ASSERT_TRUE(MoreFrames(3));
  }
}

TEST_F(Preview, CallsWithNothingToDoChangeNothing) {
  X11Window window(kWidth, kHeight);
  EXPECT_EQ(strova_playon(window.id()), 1) << "before any output";
  EXPECT_EQ(strova_playoff(), 1);
  EXPECT_EQ(g_slots.play_sink, nullptr);

  StartOutput();
  ASSERT_TRUE(MoreFrames(5));
  EXPECT_EQ(strova_playon(0), 1) << "null window";
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(strova_playoff(), 1) << "nothing attached";
  EXPECT_EQ(CurrentState(), GST_STATE_PLAYING) << "the pipeline was not paused";

  ASSERT_EQ(strova_playon(window.id()), 1);
  GstElement* const queue = g_slots.play_queue;
  GstElement* const sink = g_slots.play_sink;
  EXPECT_EQ(strova_playon(window.id() + 1), 1) << "already attached";
  EXPECT_EQ(g_slots.play_queue, queue);
  EXPECT_EQ(g_slots.play_sink, sink);
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app", "queue-play"}));

  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(strova_playon(window.id()), 1) << "after the end";
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(strova_playoff(), 1);
}

TEST_F(Preview, NothingAfterAFailedStart) {
  const auto removed = RemoveFactory("rtph264depay");
  X11Window window(kWidth, kHeight);
  EXPECT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", kWidth, kHeight, 30, 1), 0);
  EXPECT_EQ(strova_playon(window.id()), 1);
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
}

TEST_F(Preview, MissingSinkLeavesTheOutputPlaying) {
  const auto removed = RemoveFactory("glimagesink");
  X11Window window(kWidth, kHeight);
  StartOutput();
  ASSERT_TRUE(MoreFrames(5));
  testing::internal::CaptureStderr();
  EXPECT_EQ(strova_playon(window.id()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app"}));
  EXPECT_EQ(CurrentState(), GST_STATE_PLAYING);
  EXPECT_TRUE(MoreFrames(5));
}

TEST_F(Preview, WindowShowsTheVideo) {
  X11Window window(kWidth, kHeight);
  StartOutput();
  ASSERT_TRUE(MoreFrames(5));
  ASSERT_EQ(strova_playon(window.id()), 1);
  ASSERT_TRUE(MoreFrames(30));
  const std::string png = std::string(VANTREL_TEST_OUTPUT_DIR) + "/preview_window.png";
  // The GL sink draws on its own thread; on a loaded machine its first
  // pictures may come late.
  EXPECT_TRUE(camerasupport::WaitForBars(xvfb_, window.id(), png, 5000));
  EXPECT_EQ(strova_endoutput(), 1) << "detaches while the window still exists";
}

}  // namespace
