// The region between processes: a live writer's region is left alone, a
// killed writer's region is replaced, a reader elsewhere sees the close, and
// a reader polling during writing never accepts a slot being rewritten.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/frame_queue.h"
#include "engine/frame_queue_reader.h"
#include "tests/frame_queue/frame_queue_support.h"

namespace {

// A child process running `body`, and one pipe each way to step in turns.
class Child {
 public:
  explicit Child(const std::function<int(Child&)>& body) {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      in_ = down[0];
      out_ = up[1];
      _exit(body(*this));
    }
    close(down[0]);
    close(up[1]);
    in_ = up[0];
    out_ = down[1];
  }
  ~Child() {
    close(in_);
    close(out_);
    if (pid_ > 0) Wait();
  }
  void Signal() { ASSERT_EQ(write(out_, "x", 1), 1); }
  // False when the other side went away.
  bool Await() {
    char c;
    return read(in_, &c, 1) == 1;
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Kill() { kill(pid_, SIGKILL); }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

class Region : public ::testing::Test {
 protected:
  const std::string name_ = fq_test::PrivateName();
};

// Writes frame n with every Y byte n, every UV byte n + 1 and timestamp n.
void WriteNumberedFrame(FrameQueue* queue, std::vector<uint8_t>& y, std::vector<uint8_t>& uv) {
  const uint32_t n = queue->header->write_index + 1;
  std::fill(y.begin(), y.end(), static_cast<uint8_t>(n));
  std::fill(uv.begin(), uv.end(), static_cast<uint8_t>(n + 1));
  const uint32_t w = queue->layout.width;
  WriteFrame(queue, FramePlanes{y.data(), uv.data(), w, w, w, queue->layout.height}, n);
}

bool IsNumberedFrame(const FrameQueueReader::Frame& frame, uint32_t luma_bytes) {
  const auto n = static_cast<uint8_t>(frame.index);
  return frame.timestamp == frame.index &&
         std::all_of(frame.pixels.begin(), frame.pixels.begin() + luma_bytes, [n](uint8_t b) { return b == n; }) &&
         std::all_of(frame.pixels.begin() + luma_bytes, frame.pixels.end(),
                     [n](uint8_t b) { return b == static_cast<uint8_t>(n + 1); });
}

TEST_F(Region, LiveWriterInThisProcessIsLeftUntouched) {
  FrameQueue* first = FrameQueueCreate(64, 48, name_.c_str());
  ASSERT_NE(first, nullptr);
  first->header->write_index = 1234;
  FrameQueueHeader before;
  std::memcpy(&before, first->header, sizeof before);
  EXPECT_EQ(FrameQueueCreate(1280, 720, name_.c_str()), nullptr);
  EXPECT_EQ(std::memcmp(&before, first->header, sizeof before), 0);
  FrameQueueClose(first);
}

TEST_F(Region, LiveWriterInAnotherProcessIsLeftUntouched) {
  Child writer([&](Child& self) {
    FrameQueue* queue = FrameQueueCreate(64, 48, name_.c_str());
    if (!queue) return 1;
    queue->header->write_index = 1234;
    self.Signal();
    self.Await();  // until the test is done
    FrameQueueClose(queue);
    return 0;
  });
  ASSERT_TRUE(writer.Await());
  EXPECT_EQ(FrameQueueCreate(64, 48, name_.c_str()), nullptr);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open(name_.c_str()));
  // Asking does not disturb the writer's hold on the region.
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(reader.WriterAlive());
  EXPECT_EQ(FrameQueueCreate(64, 48, name_.c_str()), nullptr);
  EXPECT_EQ(reader.Header().write_index, 1234u);
  EXPECT_EQ(reader.Header().state, kFrameQueueCreated);
  writer.Signal();
  EXPECT_EQ(writer.Wait(), 0);
}

TEST_F(Region, KilledWritersRegionIsReplaced) {
  Child writer([&](Child& self) {
    FrameQueue* queue = FrameQueueCreate(64, 48, name_.c_str());
    if (!queue) return 1;
    queue->header->write_index = 99;
    self.Signal();
    pause();
    return 0;
  });
  ASSERT_TRUE(writer.Await());
  FrameQueueReader old_reader;
  ASSERT_TRUE(old_reader.Open(name_.c_str()));
  EXPECT_TRUE(old_reader.WriterAlive());
  writer.Kill();
  EXPECT_EQ(writer.Wait(), 128 + SIGKILL);
  EXPECT_FALSE(old_reader.WriterAlive()) << "the header still says " << old_reader.Header().state;

  FrameQueue* queue = FrameQueueCreate(320, 240, name_.c_str());
  ASSERT_NE(queue, nullptr);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open(name_.c_str()));
  EXPECT_EQ(reader.Header().width, 320u);
  EXPECT_EQ(reader.Header().write_index, 0u);
  // A reader of the dead writer's region keeps its copy.
  EXPECT_EQ(old_reader.Header().write_index, 99u);
  EXPECT_EQ(old_reader.Header().width, 64u);
  EXPECT_FALSE(old_reader.WriterAlive());
  EXPECT_TRUE(reader.WriterAlive());
  FrameQueueClose(queue);
  EXPECT_FALSE(reader.WriterAlive());
}

// A leftover whose lock nobody holds is dead whatever it holds: a creator
// killed before its header, a stray file, or a complete region.
TEST_F(Region, LeftoverWithAFreeLockIsReplacedWhateverItHolds) {
  struct Leftover {
    const char* what;
    size_t size;
    bool complete_header;
  };
  for (const Leftover& left :
       {Leftover{"empty", 0, false}, Leftover{"zeros", 4096, false}, Leftover{"complete, state 2", 0, true}}) {
    SCOPED_TRACE(left.what);
    const std::string path = "/" + name_;
    const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    const auto layout = ComputeFrameQueueLayout(64, 48);
    const size_t size = left.complete_header ? layout->region_bytes : left.size;
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    if (left.complete_header) {
      FrameQueueHeader header{};
      header.state = kFrameQueueWritten;
      header.read_index = header.write_index = 7;
      std::copy(std::begin(layout->slot_offset), std::end(layout->slot_offset), header.slot_offset);
      header.width = 64;
      header.height = 48;
      ASSERT_EQ(pwrite(fd, &header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
    }
    close(fd);

    FrameQueue* queue = FrameQueueCreate(320, 240, name_.c_str());
    ASSERT_NE(queue, nullptr);
    FrameQueueReader reader;
    ASSERT_TRUE(reader.Open(name_.c_str()));
    EXPECT_EQ(reader.Header().width, 320u);
    EXPECT_EQ(reader.Header().state, kFrameQueueCreated);
    EXPECT_TRUE(reader.WriterAlive());
    FrameQueueClose(queue);
  }
}

// A creator between shm_open and its header holds the region's lock: its
// region, empty as it is, is left alone.
TEST_F(Region, RegionBeingSetUpIsLeftAlone) {
  const std::string path = "/" + name_;
  const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FrameQueueCreate(64, 48, name_.c_str()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "No frame queue for 64x48 frames: another writer holds the frame queue.\n");
  struct stat st {};
  const int still = shm_open(path.c_str(), O_RDONLY, 0);
  ASSERT_GE(still, 0);
  EXPECT_EQ(fstat(still, &st), 0);
  EXPECT_EQ(st.st_size, 0) << "not written";
  close(still);
  shm_unlink(path.c_str());
  close(fd);
}

// Two creators at once, each also probing the other's region while it may
// not hold its lock yet: never both, never a region lost under a live writer.
TEST_F(Region, CreatorsRacingEndWithOneWriter) {
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    Child other([&](Child& self) {
      self.Await();
      FrameQueue* queue = FrameQueueCreate(64, 48, name_.c_str());
      self.Signal();
      self.Await();
      const bool still_named = queue && queue->header && FrameQueueReader().Open(name_.c_str());
      FrameQueueClose(queue);
      return queue ? (still_named ? 1 : 3) : 0;
    });
    other.Signal();
    FrameQueue* ours = FrameQueueCreate(64, 48, name_.c_str());
    ASSERT_TRUE(other.Await());
    other.Signal();
    const int theirs = other.Wait();
    EXPECT_NE(theirs, 3) << "the other writer's region lost its name";
    EXPECT_NE(ours != nullptr, theirs == 1) << "exactly one writer";
    FrameQueueClose(ours);
    shm_unlink(("/" + name_).c_str());
  }
}

TEST_F(Region, ReaderInAnotherProcessSeesTheCloseAndKeepsTheLastFrame) {
  FrameQueue* queue = FrameQueueCreate(64, 48, name_.c_str());
  ASSERT_NE(queue, nullptr);
  std::vector<uint8_t> y(size_t{64} * 48), uv(size_t{64} * 24);
  for (int n = 0; n < 5; ++n) WriteNumberedFrame(queue, y, uv);
  Child reader([&](Child& self) {
    FrameQueueReader r;
    if (!r.Open(name_.c_str()) || r.Header().state != kFrameQueueWritten) return 1;
    self.Signal();
    self.Await();  // the writer has closed
    FrameQueueReader::Frame frame;
    if (r.Header().state != kFrameQueueClosed) return 2;
    if (r.CopyNewestFrame(frame) != FrameQueueReader::Copy::Copied) return 3;
    return frame.index == 5 && IsNumberedFrame(frame, 64 * 48) ? 0 : 4;
  });
  ASSERT_TRUE(reader.Await());
  FrameQueueClose(queue);
  reader.Signal();
  EXPECT_EQ(reader.Wait(), 0);
  FrameQueueReader late;
  EXPECT_FALSE(late.Open(name_.c_str()));
}

TEST_F(Region, PollingReaderNeverAcceptsASlotBeingWritten) {
  FrameQueue* queue = FrameQueueCreate(160, 120, name_.c_str());
  ASSERT_NE(queue, nullptr);
  Child reader([&](Child& self) {
    FrameQueueReader r;
    if (!r.Open(name_.c_str())) return 1;
    self.Signal();
    FrameQueueReader::Frame frame;
    int copied = 0;
    while (r.Header().state != kFrameQueueClosed) {
      if (r.CopyNewestFrame(frame) != FrameQueueReader::Copy::Copied) continue;
      if (!IsNumberedFrame(frame, r.Layout().luma_bytes)) return 2;
      ++copied;
    }
    return copied > 0 ? 0 : 3;
  });
  ASSERT_TRUE(reader.Await());
  std::vector<uint8_t> y(size_t{160} * 120), uv(size_t{160} * 60);
  for (int n = 0; n < 20000; ++n) WriteNumberedFrame(queue, y, uv);
  FrameQueueClose(queue);
  EXPECT_EQ(reader.Wait(), 0);
}

}  // namespace
