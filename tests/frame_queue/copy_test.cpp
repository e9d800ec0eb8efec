// Frames whose stride or size differ from the queue's: the copy stays inside
// the slot and inside the frame, crops, and fills the rest with black. Run
// under ASan: the frame and the slot are exactly sized heap blocks here.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/frame_queue.h"
#include "engine/frame_queue_reader.h"
#include "tests/frame_queue/frame_queue_support.h"

namespace {

constexpr uint8_t kLuma = 200, kChroma = 60;

struct CopyCase {
  const char* name;
  uint32_t width, height, y_stride, uv_stride;  // the frame
  int32_t area_width, area_height;              // the queue
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

// What the area must hold: the frame where it reaches, black elsewhere.
std::vector<uint8_t> Expected(const CopyCase& c, const FrameQueueLayout& layout) {
  std::vector<uint8_t> area(layout.frame_bytes);
  const uint32_t w = layout.width;
  const uint32_t uv_width = 2 * ((c.width + 1) / 2), uv_rows = (c.height + 1) / 2;
  for (uint32_t at = 0; at < layout.frame_bytes; ++at) {
    const bool luma = at < layout.luma_bytes;
    const uint32_t offset = luma ? at : at - layout.luma_bytes;
    const uint32_t row = offset / w, col = offset % w;
    area[at] =
        luma ? (row < c.height && col < c.width ? kLuma : 16) : (row < uv_rows && col < uv_width ? kChroma : 128);
  }
  return area;
}

class CopyFrame : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyFrame, CroppedAndFilledInsideTheSlot) {
  const CopyCase& c = GetParam();
  const auto layout = ComputeFrameQueueLayout(c.area_width, c.area_height);
  ASSERT_TRUE(layout);
  // The planes end with the last row's pixels: any read beyond is caught.
  std::vector<uint8_t> y(static_cast<size_t>(c.y_stride) * (c.height - 1) + c.width, kLuma);
  const uint32_t uv_rows = (c.height + 1) / 2, uv_width = 2 * ((c.width + 1) / 2);
  std::vector<uint8_t> uv(static_cast<size_t>(c.uv_stride) * (uv_rows - 1) + uv_width, kChroma);
  const FramePlanes frame{y.data(), uv.data(), c.y_stride, c.uv_stride, c.width, c.height};
  std::vector<uint8_t> area(layout->frame_bytes, 0xEE);
  CopyFrameToSlot(frame, *layout, area.data());
  EXPECT_EQ(area, Expected(c, *layout));
}

INSTANTIATE_TEST_SUITE_P(
    FrameQueue, CopyFrame,
    ::testing::Values(CopyCase{"SameSize", 64, 48, 64, 64, 64, 48}, CopyCase{"WiderStride", 64, 48, 96, 128, 64, 48},
                      CopyCase{"Larger", 80, 60, 80, 80, 64, 48}, CopyCase{"Smaller", 48, 30, 48, 48, 64, 48},
                      CopyCase{"WiderButShorter", 80, 30, 96, 96, 64, 48}, CopyCase{"OddSizes", 63, 47, 64, 64, 64, 48},
                      CopyCase{"OddQueue", 642, 481, 644, 644, 642, 481}, CopyCase{"EmptyQueue", 64, 48, 64, 64, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The same frames through OnNewSample into a real region: the slot after
// the written one keeps its zero header and zero frame area.
class CopyIntoRegion : public ::testing::TestWithParam<fq_test::Nv12> {};

TEST_P(CopyIntoRegion, NeighbourSlotUntouched) {
  gst_init(nullptr, nullptr);
  const std::string name = fq_test::PrivateName();
  g_slots.frame_queue = FrameQueueCreate(642, 481, name.c_str());
  ASSERT_NE(g_slots.frame_queue, nullptr);
  const fq_test::Nv12 f = GetParam();
  fq_test::Feeder().Feed({fq_test::MakeSample(f, 7)});
  const FrameQueue& q = *g_slots.frame_queue;
  ASSERT_EQ(q.header->read_index, 1u);
  const uint8_t* next = reinterpret_cast<const uint8_t*>(q.slot_header[2]);
  EXPECT_TRUE(std::all_of(next, next + kFrameSlotHeaderBytes + q.layout.frame_bytes, [](uint8_t b) { return b == 0; }));
  const uint8_t* area = q.slot_data[1];
  const CopyCase c{"", static_cast<uint32_t>(f.width), static_cast<uint32_t>(f.height), 0, 0, 642, 481};
  const std::vector<uint8_t> expected = Expected(c, q.layout);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), area));
  FrameQueueClose(g_slots.frame_queue);
  g_slots.frame_queue = nullptr;
}

INSTANTIATE_TEST_SUITE_P(FrameQueue, CopyIntoRegion,
                         ::testing::Values(fq_test::Nv12{642, 481},  // caps stride 644
                                           fq_test::Nv12{642, 481, 1024, 1024}, fq_test::Nv12{1280, 720},
                                           fq_test::Nv12{320, 200, 512, 384}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                  "stride" + std::to_string(info.param.y_stride);
                         });

}  // namespace
