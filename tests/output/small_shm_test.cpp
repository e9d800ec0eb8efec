// A /dev/shm too small for the frame queue (a private mount namespace with a
// small tmpfs on /dev/shm, as in a container), and sizes beyond any H.264
// picture: no queue and one line on standard error saying why, no SIGBUS,
// and the output pipeline still plays.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "engine/engine_slots.h"
#include "engine/frame_queue.h"
#include "tests/output/output_fixture.h"

namespace {

using namespace outputtest;

constexpr int kSkipped = 77;

// Buffers reaching the appsink, counted on its sink pad.
GstPadProbeReturn CountBuffer(GstPad*, GstPadProbeInfo*, gpointer count) {
  ++*static_cast<std::atomic<int>*>(count);
  return GST_PAD_PROBE_OK;
}

// In this process: the client's start with a sender feeding it. 0 when there
// is no queue, the one line says why, and frames still reach the appsink.
int StartWithoutQueue(int width, int height, const std::string& why) {
  if (strova_init(1) != 1) return 10;
  const int port = FreeUdpPort();
  testing::internal::CaptureStderr();
  const int started = strova_startoutput(0, nullptr, port, "video/x-raw", width, height, 30, 1);
  const std::string printed = testing::internal::GetCapturedStderr();
  std::fprintf(stderr, "%s", printed.c_str());
  if (started != 1) return 11;
  if (g_slots.frame_queue) return 12;
  const std::string line =
      "No frame queue for " + std::to_string(width) + "x" + std::to_string(height) + " frames: " + why + ".\n";
  if (printed != line) return 13;
  std::atomic<int> buffers{0};
  GstPad* pad = gst_element_get_static_pad(g_slots.sink, "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountBuffer, &buffers, nullptr);
  gst_object_unref(pad);
  int result = 0;
  {
    RtpSender sender(port, 320, 240);
    if (!WaitFor([&] { return buffers >= 10; }, std::chrono::seconds(10))) result = 14;
    if (strova_endoutput() != 1) result = 15;
  }
  strova_release();
  return result;
}

struct SmallShmCase {
  const char* name;
  const char* tmpfs_size;
  int width, height;
};
void PrintTo(const SmallShmCase& c, std::ostream* os) { *os << c.name; }

class SmallShm : public ::testing::TestWithParam<SmallShmCase> {};

TEST_P(SmallShm, NoQueueNoCrashAndTheOutputPlays) {
  const SmallShmCase c = GetParam();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Alone in the child: a mount namespace of its own with a small /dev/shm.
    const std::string options = std::string("size=") + c.tmpfs_size;
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev/shm", "tmpfs", 0, options.c_str()) != 0) {
      std::perror("private /dev/shm");
      _exit(kSkipped);
    }
    _exit(StartWithoutQueue(c.width, c.height,
                            "the system's shared memory (/dev/shm) is too full to hold the frame queue"));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kSkipped)
    GTEST_SKIP() << "no private mount namespace with a tmpfs here (needs root or user namespaces)";
  ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see StartWithoutQueue for the step";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmallShm,
                         ::testing::Values(SmallShmCase{"Shm12MiB_2560x1440", "12m", 2560, 1440},
                                           SmallShmCase{"Shm64MiB_4096x4096", "64m", 4096, 4096}),
                         [](const auto& info) { return std::string(info.param.name); });

// Beyond H.264's largest picture, or an area no level allows: refused before
// any memory is asked for.
TEST(FrameSize, BeyondTheLargestH264PictureGivesNoQueue) {
  struct Size {
    int width, height;
    bool allowed;
  };
  for (const Size& s :
       {Size{8192, 4352, true}, Size{8192, 16, true}, Size{16, 8192, true}, Size{0, 0, true}, Size{8193, 16, false},
        Size{16, 8193, false}, Size{8192, 4353, false}, Size{65535, 65535, false}, Size{-1, 720, false}}) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    EXPECT_EQ(FrameSizeAllowed(s.width, s.height), s.allowed);
    if (s.allowed) continue;
    testing::internal::CaptureStderr();
    EXPECT_EQ(FrameQueueCreate(s.width, s.height, "vantrelTest-size"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No frame queue for " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                  " frames: the frame size is not one of 0 to 8192 on each side, 35651584 pixels at most.\n");
  }
}

TEST(FrameSize, RefusedSizeStillPlays) {
  EXPECT_EQ(
      StartWithoutQueue(8193, 4320, "the frame size is not one of 0 to 8192 on each side, 35651584 pixels at most"), 0);
}

}  // namespace
