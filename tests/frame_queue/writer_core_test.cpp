// The frame queue's writer core and reader without GStreamer, on every
// system: the header a new region carries, frames in slot order, an existing
// region left alone, the close a reader sees, and a reader in another process
// (started with CreateProcessW on Windows).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/frame_queue_reader.h"
#include "engine/frame_queue_writer.h"
#include "tests/support/child_process.h"

namespace {

constexpr char kChildRegion[] = "VANTREL_FRAME_QUEUE_CHILD_REGION";
constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
constexpr size_t kLumaBytes = size_t{kWidth} * kHeight;

std::string PrivateName() {
  static int counter = 0;
#ifdef _WIN32
  const int process = _getpid();
#else
  const int process = getpid();
#endif
  return "vantrelTest-core-" + std::to_string(process) + "-" + std::to_string(++counter);
}

// Frame n: every Y byte n, every UV byte n + 1, timestamp 1000 * n.
void WriteNumberedFrame(FrameQueueWriter& writer) {
  const uint32_t n = writer.header->write_index + 1;
  std::vector<uint8_t> y(kLumaBytes, static_cast<uint8_t>(n));
  std::vector<uint8_t> uv(kLumaBytes / 2, static_cast<uint8_t>(n + 1));
  WriteFrame(&writer, FramePlanes{y.data(), uv.data(), kWidth, kWidth, kWidth, kHeight}, 1000ull * n);
}

// 0 when `reader` holds frame n as WriteNumberedFrame wrote it.
int CheckNumberedFrame(const FrameQueueReader& reader, uint32_t n) {
  FrameQueueReader::Frame frame;
  if (reader.CopyNewestFrame(frame) != FrameQueueReader::Copy::Copied) return 10;
  if (frame.index != n || frame.timestamp != 1000ull * n) return 11;
  if (frame.pixels.size() != kLumaBytes * 3 / 2) return 12;
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    if (frame.pixels[i] != static_cast<uint8_t>(i < kLumaBytes ? n : n + 1)) return 13;
  }
  return 0;
}

// The child's part, before main: open the region named in the environment
// and check that its newest frame is frame 3 and its writer alive.
const int child_part = [] {
  const char* region = std::getenv(kChildRegion);
  if (!region) return 0;
  FrameQueueReader reader;
  if (!reader.Open(region)) std::exit(2);
  if (!reader.WriterAlive()) std::exit(3);
  std::exit(CheckNumberedFrame(reader, 3));
}();

class WriterCore : public ::testing::Test {
 protected:
  void TearDown() override { FrameQueueWriterClose(writer_); }
  const std::string name_ = PrivateName();
  FrameQueueWriter writer_{};
};

TEST_F(WriterCore, NewRegionCarriesTheHeaderAndFramesGoToTheNextSlot) {
  ASSERT_EQ(FrameQueueWriterCreate(writer_, kWidth, kHeight, name_.c_str()), QueueCreateResult::Created);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open(name_.c_str()));
  FrameQueueHeader header = reader.Header();
  EXPECT_EQ(header.state, kFrameQueueCreated);
  EXPECT_EQ(header.write_index, 0u);
  EXPECT_EQ(header.width, kWidth);
  EXPECT_EQ(header.height, kHeight);
  EXPECT_EQ(header.frame_interval, kFrameInterval);
  EXPECT_EQ(header.slot_offset[0], 96u);
  FrameQueueReader::Frame frame;
  EXPECT_EQ(reader.CopyNewestFrame(frame), FrameQueueReader::Copy::NoFrame);

  const uint8_t* first_slot = writer_.slot_data[0];
  for (uint32_t n = 1; n <= 4; ++n) {
    WriteNumberedFrame(writer_);
    header = reader.Header();
    EXPECT_EQ(header.write_index, n);
    EXPECT_EQ(header.read_index, n);
    EXPECT_EQ(header.state, kFrameQueueWritten);
    EXPECT_EQ(CheckNumberedFrame(reader, n), 0) << "frame " << n;
  }
  // Frames 1 to 4 went to slots 1, 2, 0, 1: slot 0 holds frame 3.
  EXPECT_EQ(first_slot[0], 3);
  EXPECT_EQ(writer_.slot_header[0]->timestamp, 3000u);
}

TEST_F(WriterCore, AnExistingRegionIsLeftAlone) {
  ASSERT_EQ(FrameQueueWriterCreate(writer_, kWidth, kHeight, name_.c_str()), QueueCreateResult::Created);
  WriteNumberedFrame(writer_);
  FrameQueueWriter second{};
  EXPECT_EQ(FrameQueueWriterCreate(second, 2 * kWidth, 2 * kHeight, name_.c_str()), QueueCreateResult::Exists);
  EXPECT_EQ(second.header, nullptr);
  FrameQueueWriterClose(second);  // an empty writer: nothing to do
  EXPECT_EQ(writer_.header->width, kWidth);
  EXPECT_EQ(writer_.header->read_index, 1u);
  EXPECT_EQ(writer_.header->state, kFrameQueueWritten);
}

TEST_F(WriterCore, AReaderStillHoldingTheRegionSeesTheClose) {
  ASSERT_EQ(FrameQueueWriterCreate(writer_, kWidth, kHeight, name_.c_str()), QueueCreateResult::Created);
  WriteNumberedFrame(writer_);
  WriteNumberedFrame(writer_);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open(name_.c_str()));
  EXPECT_TRUE(reader.WriterAlive());
  FrameQueueWriterClose(writer_);
  EXPECT_EQ(writer_.header, nullptr);
  const FrameQueueHeader header = reader.Header();
  EXPECT_EQ(header.state, kFrameQueueClosed);
  EXPECT_EQ(header.read_index, 2u);
  EXPECT_FALSE(reader.WriterAlive());
  EXPECT_EQ(CheckNumberedFrame(reader, 2), 0);
  // The name is free again once the reader lets go.
  reader.Close();
  EXPECT_EQ(FrameQueueWriterCreate(writer_, kWidth, kHeight, name_.c_str()), QueueCreateResult::Created);
}

TEST_F(WriterCore, AReaderInAnotherProcessSeesTheNewestFrame) {
  ASSERT_EQ(FrameQueueWriterCreate(writer_, kWidth, kHeight, name_.c_str()), QueueCreateResult::Created);
  for (int i = 0; i < 3; ++i) WriteNumberedFrame(writer_);
  EXPECT_EQ(testsupport::RunSelfAsChild(kChildRegion, name_), 0)
      << "2: not opened, 3: writer not alive, 10-13: wrong frame";
}

}  // namespace
