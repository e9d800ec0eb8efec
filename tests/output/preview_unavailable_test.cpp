// A preview that cannot draw (an X server without GLX, or no display at all):
// strova_playon gives 0 and takes the branch off again while the frame queue
// keeps its frames; the end and the release return, and the next session on
// the same port gets frames at once. Prints the frame rate kept meanwhile and
// how long the end and the release took.
#include <gtest/gtest.h>

#include <chrono>
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
using Clock = std::chrono::steady_clock;
using testsupport::XvfbDisplay;

constexpr int kWidth = 320, kHeight = 240;

struct NoGlCase {
  const char* name;
  bool x_server;  // an X server without GLX; else no display at all
};
void PrintTo(const NoGlCase& c, std::ostream* os) { *os << c.name; }

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class PreviewUnavailable : public ::testing::TestWithParam<NoGlCase> {
 protected:
  void SetUp() override {
    if (GetParam().x_server) {
      xvfb_ = std::make_unique<XvfbDisplay>("640x480x24", XvfbDisplay::Glx::Off);
      ASSERT_TRUE(xvfb_->ok());
      window_ = std::make_unique<camerasupport::X11Window>(kWidth, kHeight);
      handle_ = window_->id();
    } else {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      handle_ = 0x2a00001;  // what a window handle looks like; there is no window
    }
    ASSERT_NE(handle_, 0u);
    ASSERT_EQ(strova_init(1), 1);
  }
  void TearDown() override {
    strova_endoutput();
    sender_.reset();
    if (!released_) strova_release();
  }

  // Starts the output on port_ and waits for its first frames.
  void StartSession(FrameQueueReader& reader) {
    ASSERT_EQ(strova_startoutput(0, nullptr, port_, "video/x-raw", kWidth, kHeight, 30, 1), 1);
    ASSERT_TRUE(reader.Open());
    if (!sender_) sender_ = std::make_unique<RtpSender>(port_, kWidth, kHeight);
    ASSERT_TRUE(sender_->ok());
  }

  static bool MoreFrames(const FrameQueueReader& reader, uint32_t count, std::chrono::milliseconds limit) {
    const uint32_t from = reader.Header().read_index;
    return WaitFor([&] { return reader.Header().read_index - from >= count; }, limit);
  }

  static GstState CurrentState() {
    GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(g_slots.pipeline, &state, &pending, 0);
    return state;
  }

  std::unique_ptr<XvfbDisplay> xvfb_;
  std::unique_ptr<camerasupport::X11Window> window_;
  uintptr_t handle_ = 0;
  int port_ = FreeUdpPort();
  std::unique_ptr<RtpSender> sender_;
  bool released_ = false;
};

TEST_P(PreviewUnavailable, OutputKeepsItsFramesAndEverythingEnds) {
  FrameQueueReader reader;
  StartSession(reader);
  ASSERT_TRUE(MoreFrames(reader, 5, std::chrono::seconds(10)));

  EXPECT_EQ(strova_playon(handle_), 0);
  EXPECT_EQ(g_slots.play_queue, nullptr);
  EXPECT_EQ(g_slots.play_sink, nullptr);
  EXPECT_EQ(TeeTargets(), (std::vector<std::string>{"queue-app"}));
  EXPECT_EQ(CurrentState(), GST_STATE_PLAYING);
  // The sender gives 30 frames/s.
  const uint32_t from = reader.Header().read_index;
  const auto watch_start = Clock::now();
  EXPECT_TRUE(MoreFrames(reader, 45, std::chrono::seconds(10))) << "the frame queue stopped";
  const double fps = (reader.Header().read_index - from) * 1000.0 / MillisecondsSince(watch_start);
  EXPECT_EQ(strova_playon(handle_), 0) << "a second try fails the same way";
  EXPECT_TRUE(MoreFrames(reader, 5, std::chrono::seconds(5)));

  auto start = Clock::now();
  EXPECT_EQ(strova_endoutput(), 1);
  const double end_ms = MillisecondsSince(start);
  EXPECT_EQ(reader.Header().state, kFrameQueueClosed);
  EXPECT_EQ(g_slots.pipeline, nullptr);
  reader.Close();

  // The next session on the same port: frames at once.
  FrameQueueReader next;
  start = Clock::now();
  StartSession(next);
  EXPECT_TRUE(MoreFrames(next, 5, std::chrono::seconds(3))) << "no frames in the next session";
  const double first_frames_ms = MillisecondsSince(start);
  EXPECT_EQ(strova_endoutput(), 1);
  next.Close();

  sender_.reset();  // gst_deinit waits for every pipeline's threads, the sender's too
  start = Clock::now();
  EXPECT_EQ(strova_release(), 1);
  released_ = true;
  const double release_ms = MillisecondsSince(start);
  std::printf(
      "[ measured ] %s: %.1f frames/s kept after the failed preview; end %.0f ms; next session's "
      "first 5 frames %.0f ms; release %.0f ms\n",
      GetParam().name, fps, end_ms, first_frames_ms, release_ms);
}

INSTANTIATE_TEST_SUITE_P(NoGl, PreviewUnavailable,
                         ::testing::Values(NoGlCase{"XServerWithoutGlx", true}, NoGlCase{"NoDisplay", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
