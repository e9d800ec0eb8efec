// vantrel-camera's view of a real frame-queue region written by the engine's
// own writer: waiting, a session from state 1 to 3, the next session, the
// picture for each tick (same size, letterboxed, placeholder), a writer
// killed with SIGKILL, and bad regions (foreign layout, shrunk, 0x0).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "engine/frame_queue.h"
#include "tools/vantrel-camera/camera_feed.h"
#include "tools/vantrel-camera/camera_pictures.h"

namespace {

std::string PrivateName() { return "vantrelWebcamTest-" + std::to_string(getpid()); }

// A writer of the frame queue in this process.
struct Writer {
  Writer(const std::string& name, uint32_t width, uint32_t height)
      : queue(FrameQueueCreate(static_cast<int32_t>(width), static_cast<int32_t>(height), name.c_str())) {}
  ~Writer() { FrameQueueClose(queue); }
  void Write(uint8_t luma, uint8_t chroma) {
    const FrameQueueLayout& l = queue->layout;
    std::vector<uint8_t> frame(l.frame_bytes, luma);
    std::memset(frame.data() + l.luma_bytes, chroma, l.frame_bytes - l.luma_bytes);
    WriteFrame(queue, {frame.data(), frame.data() + l.luma_bytes, l.width, l.width, l.width, l.height}, 0);
  }
  void Close() {
    FrameQueueClose(queue);
    queue = nullptr;
  }
  FrameQueue* queue;
};

// Polls until `kind` comes or `polls` ran out (the feed looks for a region
// only every few polls).
CameraFeed::Step PollUntil(CameraFeed& feed, CameraFeed::Step::Kind kind, int polls = 40) {
  CameraFeed::Step step;
  for (int i = 0; i < polls; ++i) {
    step = feed.Poll();
    if (step.kind == kind) break;
  }
  return step;
}

class WebcamFeed : public ::testing::Test {
 protected:
  std::string name = PrivateName();
  std::vector<std::string> notices;
  CameraFeed feed{name, [this](const std::string& text) { notices.push_back(text); }};
  bool Noticed(const std::string& part) const {
    for (const std::string& n : notices) {
      if (n.find(part) != std::string::npos) return true;
    }
    return false;
  }
  void TearDown() override { shm_unlink(("/" + name).c_str()); }
};

TEST_F(WebcamFeed, FollowsASessionFromStartToEndAndTheNextOne) {
  for (int i = 0; i < 20; ++i) EXPECT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing) << "no region yet";
  CameraPictures pictures({64, 48});
  {
    Writer writer(name, 64, 48);
    ASSERT_NE(writer.queue, nullptr);
    CameraFeed::Step step = PollUntil(feed, CameraFeed::Step::kNothing);
    for (int i = 0; i < 20 && !step.size.width; ++i) step = feed.Poll();
    EXPECT_EQ(step.size, (PictureSize{64, 48})) << "state 1: the size is known, no picture yet";
    EXPECT_EQ(step.frame_interval, kFrameInterval);
    EXPECT_EQ(pictures.For(step)->front(), kPlaceholderLuma);
    EXPECT_TRUE(Noticed("session started: 64x48"));

    writer.Write(150, 90);
    step = feed.Poll();
    ASSERT_EQ(step.kind, CameraFeed::Step::kNewFrame);
    const Picture first = pictures.For(step);
    EXPECT_EQ(first->front(), 150);
    EXPECT_EQ(first->data(), step.frame->pixels.data()) << "the same size is published without a copy";
    step = feed.Poll();
    EXPECT_EQ(step.kind, CameraFeed::Step::kRepeat);
    EXPECT_EQ(pictures.For(step), first) << "no new frame: the newest is repeated";
    writer.Write(160, 90);
    EXPECT_EQ(pictures.For(feed.Poll())->front(), 160);
    writer.Close();
    EXPECT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing);
    EXPECT_TRUE(Noticed("session ended"));
  }
  // The next session, wider: letterboxed into the camera's size.
  Writer writer(name, 128, 48);
  writer.Write(100, 200);
  const CameraFeed::Step step = PollUntil(feed, CameraFeed::Step::kNewFrame);
  ASSERT_EQ(step.kind, CameraFeed::Step::kNewFrame);
  EXPECT_EQ(step.size, (PictureSize{128, 48}));
  const Picture boxed = pictures.For(step);
  ASSERT_EQ(boxed->size(), Nv12Bytes({64, 48}));
  EXPECT_EQ(boxed->front(), kBlackLuma);
  EXPECT_EQ((*boxed)[24 * 64 + 32], 100);
}

TEST_F(WebcamFeed, AWriterKilledWithSigkillEndsItsSession) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Writer writer(name, 64, 48);
    writer.Write(150, 90);
    const char byte = writer.queue ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  ASSERT_EQ(byte, 1);
  EXPECT_EQ(PollUntil(feed, CameraFeed::Step::kNewFrame).kind, CameraFeed::Step::kNewFrame);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing);
  EXPECT_TRUE(Noticed("has gone"));
  // The dead writer's region is still there; it is never taken for a session.
  notices.clear();
  for (int i = 0; i < 40; ++i) ASSERT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing);
  EXPECT_TRUE(notices.empty());
  // A new writer replaces it.
  Writer next(name, 64, 48);
  ASSERT_NE(next.queue, nullptr);
  next.Write(170, 90);
  EXPECT_EQ(PollUntil(feed, CameraFeed::Step::kNewFrame).frame->pixels.front(), 170);
}

TEST_F(WebcamFeed, ARegionOfAForeignLayoutIsReportedAndIgnored) {
  const int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  const char text[] = "some other program's data, not a frame queue";
  ASSERT_EQ(pwrite(fd, text, sizeof text, 0), static_cast<ssize_t>(sizeof text));
  close(fd);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing);
  EXPECT_TRUE(Noticed("is not a frame queue of this layout")) << (notices.empty() ? "" : notices[0]);
  EXPECT_EQ(notices.size(), 1u) << "said once";
}

TEST_F(WebcamFeed, ARegionThatShrinksUnderTheReaderIsDroppedWithoutACrash) {
  Writer writer(name, 320, 240);
  writer.Write(150, 90);
  ASSERT_EQ(PollUntil(feed, CameraFeed::Step::kNewFrame).kind, CameraFeed::Step::kNewFrame);
  const int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 1000), 0);  // the slots now lie beyond the end
  close(fd);
  writer.queue->header->read_index += 3;  // a "new" frame, in memory that is gone
  for (int i = 0; i < 40; ++i) ASSERT_EQ(feed.Poll().kind, CameraFeed::Step::kNothing);
  EXPECT_TRUE(Noticed("shrank"));
}

TEST_F(WebcamFeed, ASessionOfSizeZeroShowsThePlaceholder) {
  Writer writer(name, 0, 0);
  ASSERT_NE(writer.queue, nullptr);
  const CameraFeed::Step step = PollUntil(feed, CameraFeed::Step::kNewFrame);
  EXPECT_EQ(step.kind, CameraFeed::Step::kNothing);
  EXPECT_EQ(step.size, (PictureSize{0, 0}));
  EXPECT_FALSE(CameraSizeOf(step.size));
  EXPECT_TRUE(Noticed("holds no picture"));
}

}  // namespace
