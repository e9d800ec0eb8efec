// Real video through the three pipelines under a private X server: the test
// camera drawn into an X11 window, the camera streamed to 127.0.0.1 and shown
// by the stream preview of a second process, and bus errors ending strova_wait.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "tests/camera/camera_support.h"
#include "tests/camera/x11_picture.h"
#include "tests/support/free_port.h"

extern char** environ;

namespace {

using camerasupport::EngineTest;
using camerasupport::WaitForBars;
using camerasupport::X11Window;

const std::string kShots = VANTREL_TEST_SHOTS;

// A UDP socket bound to a free loopback port; the port is free again once
// the socket is closed (or kept busy while it stays open).
class UdpPort {
 public:
  UdpPort() : fd_(socket(AF_INET, SOCK_DGRAM, 0)), port_(fd_ >= 0 ? testsupport::BindToFreeLoopbackPort(fd_) : 0) {}
  ~UdpPort() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int port() const { return port_; }

 private:
  int fd_;
  int port_;
};

class VideoTest : public EngineTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_.ok());
    EngineTest::SetUp();
  }
  testsupport::XvfbDisplay display_{"1280x720x24"};
};

// ------------------------------------------------------------ camera preview

struct PreviewCase {
  const char* name;
  int device_index;
  const char* media_type;
};

void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.name; }

class CameraPreviewVideo : public VideoTest, public testing::WithParamInterface<PreviewCase> {};

TEST_P(CameraPreviewVideo, DrawsTheCameraIntoTheWindow) {
  const PreviewCase& c = GetParam();
  X11Window window(640, 360);
  ASSERT_EQ(strova_startplay(c.device_index, nullptr, c.media_type, 640, 360, 30, 1, window.id()), 1);
  EXPECT_TRUE(WaitForBars(display_, window.id(), kShots + "camera_preview_" + c.name + ".png", 10000));
  EXPECT_GE(window.ChildCount(), 1);  // the sink draws inside the given window
  EXPECT_EQ(strova_endplay(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cameras, CameraPreviewVideo,
                         testing::Values(PreviewCase{"Raw", 0, "video/x-raw"}, PreviewCase{"Jpeg", 1, "image/jpeg"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VideoTest, CameraPreviewWithoutAWindowOpensItsOwn) {
  X11Window window(640, 360);
  const int top_levels = window.TopLevelCount();
  ASSERT_EQ(strova_startplay(0, nullptr, "video/x-raw", 640, 360, 30, 1, 0), 1);
  bool own_window = false;
  for (int waited = 0; waited < 10000 && !own_window; waited += 100) {
    own_window = window.TopLevelCount() > top_levels;
    usleep(100 * 1000);
  }
  EXPECT_TRUE(own_window);
  EXPECT_EQ(window.ChildCount(), 0);
  EXPECT_EQ(strova_endplay(), 1);
}

// ------------------------------------------------------------ stream-out to stream preview

// The stream preview peer: a second process with its own engine and window.
class PreviewPeer {
 public:
  explicit PreviewPeer(int port) {
    int to_peer[2], from_peer[2];
    if (pipe(to_peer) != 0 || pipe(from_peer) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_peer[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_peer[1], 1);
    posix_spawn_file_actions_addclose(&actions, to_peer[1]);
    posix_spawn_file_actions_addclose(&actions, from_peer[0]);
    const std::string port_text = std::to_string(port);
    char* argv[] = {const_cast<char*>(VANTREL_PREVIEW_PEER), const_cast<char*>(port_text.c_str()), nullptr};
    if (posix_spawn(&pid_, VANTREL_PREVIEW_PEER, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(to_peer[0]);
    close(from_peer[1]);
    stop_fd_ = to_peer[1];
    FILE* replies = fdopen(from_peer[0], "r");
    if (replies && fscanf(replies, "%lu", &window_) != 1) window_ = 0;
    if (replies) fclose(replies);
  }
  // Closing its stdin ends the peer's stream preview; returns its exit status.
  int Stop() {
    if (stop_fd_ >= 0) close(stop_fd_);
    stop_fd_ = -1;
    int status = -1;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  ~PreviewPeer() { Stop(); }
  unsigned long window() const { return window_; }

 private:
  pid_t pid_ = -1;
  int stop_fd_ = -1;
  unsigned long window_ = 0;
};

struct StreamCase {
  const char* name;
  int device_index;
  const char* media_type;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class StreamLoop : public VideoTest, public testing::WithParamInterface<StreamCase> {};

TEST_P(StreamLoop, StreamPreviewShowsTheStreamedCamera) {
  const StreamCase& c = GetParam();
  UdpPort free_port;
  free_port.Close();
  PreviewPeer peer(free_port.port());
  ASSERT_NE(peer.window(), 0u);
  ASSERT_EQ(strova_startstream(c.device_index, nullptr, c.media_type, 640, 360, 30, 1, "127.0.0.1", free_port.port()),
            1);
  EXPECT_TRUE(WaitForBars(display_, peer.window(), kShots + "stream_loop_" + c.name + ".png", 15000));
  EXPECT_EQ(strova_endstream(), 1);
  EXPECT_EQ(peer.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cameras, StreamLoop,
                         testing::Values(StreamCase{"Raw", 0, "video/x-raw"}, StreamCase{"Jpeg", 1, "image/jpeg"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ bus errors

struct ErrorCase {
  const char* name;
  EngineResult (*start)(int port);
  EngineResult (*end)();
  const char* printed;  // nullptr: any "Error: " line
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class BusError : public VideoTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(BusError, EndsStrovaWaitAndLeavesThePipeline) {
  const ErrorCase& c = GetParam();
  UdpPort busy_port;  // stays bound: the stream preview cannot have it
  ASSERT_EQ(c.start(busy_port.port()), 1);
  testing::internal::CaptureStderr();
  const bool ended = camerasupport::WaitWithLimit(10000);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ended);
  if (c.printed) {
    EXPECT_EQ(printed, c.printed);
  } else {
    EXPECT_EQ(printed.rfind("Error: ", 0), 0u) << printed;
  }
  EXPECT_NE(g_slots.pipeline, nullptr);
  EXPECT_EQ(c.end(), 1);
}

INSTANTIATE_TEST_SUITE_P(Pipelines, BusError,
                         testing::Values(ErrorCase{"CameraPreview",
                                                   [](int) {
                                                     return strova_startplay(0, "Missing Camera", "video/x-raw", 640,
                                                                             360, 30, 1, 0);
                                                   },
                                                   strova_endplay, "Error: No such test camera\n"},
                                         ErrorCase{"CameraStream",
                                                   [](int port) {
                                                     return strova_startstream(0, "Missing Camera", "video/x-raw", 640,
                                                                               360, 30, 1, "127.0.0.1", port);
                                                   },
                                                   strova_endstream, "Error: No such test camera\n"},
                                         ErrorCase{"StreamPreview",
                                                   [](int port) { return strova_startplaystream(port, 96, 0); },
                                                   strova_endplaystream, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ ends

class EndWhileWaiting : public VideoTest, public testing::WithParamInterface<camerasupport::Family> {};

TEST_P(EndWhileWaiting, ReleasesTheWaitingThreadAndTearsDown) {
  ASSERT_EQ(GetParam().start(), 1);
  camerasupport::EndWhileWaiting(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Families, EndWhileWaiting, testing::ValuesIn(camerasupport::kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
