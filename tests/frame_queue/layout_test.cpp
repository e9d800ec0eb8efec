// The frame queue's size arithmetic, and the same sizes read back from a real
// region "vantrelVirtualCamVideo" through the reader.
#include <gtest/gtest.h>

#include "engine/frame_queue.h"
#include "engine/frame_queue_reader.h"

namespace {

struct WorkedSize {
  int32_t width;
  int32_t height;
  uint32_t frame_bytes;
  uint32_t slot_offset[3];
  uint32_t region_bytes;
};

void PrintTo(const WorkedSize& s, std::ostream* os) { *os << s.width << "x" << s.height; }

class WorkedSizes : public ::testing::TestWithParam<WorkedSize> {};

TEST_P(WorkedSizes, Arithmetic) {
  const WorkedSize& s = GetParam();
  const auto layout = ComputeFrameQueueLayout(s.width, s.height);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->frame_bytes, s.frame_bytes);
  EXPECT_EQ(layout->luma_bytes, static_cast<uint32_t>(s.width * s.height));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(layout->slot_offset[k], s.slot_offset[k]) << k;
    EXPECT_EQ(layout->slot_offset[k] % 32, 0u);
  }
  EXPECT_EQ(layout->region_bytes, s.region_bytes);
}

TEST_P(WorkedSizes, ReadBackFromTheRegion) {
  const WorkedSize& s = GetParam();
  FrameQueue* queue = FrameQueueCreate(s.width, s.height);
  ASSERT_NE(queue, nullptr);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open(kFrameQueueName));
  const FrameQueueHeader h = reader.Header();
  EXPECT_EQ(h.width, static_cast<uint32_t>(s.width));
  EXPECT_EQ(h.height, static_cast<uint32_t>(s.height));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(h.slot_offset[k], s.slot_offset[k]) << k;
  EXPECT_EQ(reader.RegionBytes(), s.region_bytes);
  EXPECT_EQ(reader.Layout().frame_bytes, s.frame_bytes);
  FrameQueueClose(queue);
}

INSTANTIATE_TEST_SUITE_P(FrameQueue, WorkedSizes,
                         ::testing::Values(WorkedSize{1280, 720, 1382400, {96, 1382528, 2764960}, 4147392},
                                           WorkedSize{1920, 1080, 3110400, {96, 3110528, 6220960}, 9331392},
                                           WorkedSize{642, 481, 463203, {96, 463360, 926624}, 1389888},
                                           WorkedSize{0, 0, 0, {96, 128, 160}, 192},
                                           WorkedSize{0, 1080, 0, {96, 128, 160}, 192}));

TEST(FrameQueueLayout, RefusedSizes) {
  struct Case {
    int64_t width, height;
  };
  for (const Case c : {Case{-1, 720}, Case{1280, -1}, Case{INT32_MIN, INT32_MIN},
                       Case{65536, 65536},  // width * height * 3 beyond 32 bits
                       Case{31000, 31000},  // one frame fits, three slots do not
                       Case{INT32_MAX, 1}}) {
    EXPECT_FALSE(ComputeFrameQueueLayout(c.width, c.height)) << c.width << "x" << c.height;
  }
  // Three such slots still fit.
  EXPECT_TRUE(ComputeFrameQueueLayout(30000, 30000));
}

TEST(FrameQueueLayout, RefusedSizeGivesNoQueue) {
  EXPECT_EQ(FrameQueueCreate(-640, 480, "vantrelTest-refused"), nullptr);
  EXPECT_EQ(FrameQueueCreate(65536, 65536, "vantrelTest-refused"), nullptr);
  FrameQueueReader reader;
  EXPECT_FALSE(reader.Open("vantrelTest-refused"));
}

}  // namespace
