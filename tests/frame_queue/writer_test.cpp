// The frame-queue writer: the header at creation, the slot order and the
// counters, close, and frames handed to OnNewSample through a real appsink.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/frame_queue.h"
#include "engine/frame_queue_reader.h"
#include "tests/frame_queue/frame_queue_support.h"

namespace {

using fq_test::Feeder;
using fq_test::MakeSample;
using fq_test::Nv12;

class Writer : public ::testing::Test {
 protected:
  void SetUp() override { gst_init(nullptr, nullptr); }
  void TearDown() override {
    FrameQueueClose(g_slots.frame_queue);
    g_slots.frame_queue = nullptr;
  }
  // Opens a private queue into the engine's slot and a reader on it.
  void Open(int32_t width, int32_t height) {
    g_slots.frame_queue = FrameQueueCreate(width, height, name_.c_str());
    ASSERT_NE(g_slots.frame_queue, nullptr);
    ASSERT_TRUE(reader_.Open(name_.c_str()));
  }
  const std::string name_ = fq_test::PrivateName();
  FrameQueueReader reader_;
};

TEST_F(Writer, HeaderAtCreation) {
  Open(640, 480);
  const FrameQueueHeader h = reader_.Header();
  EXPECT_EQ(h.write_index, 0u);
  EXPECT_EQ(h.read_index, 0u);
  EXPECT_EQ(h.state, kFrameQueueCreated);
  EXPECT_EQ(h.width, 640u);
  EXPECT_EQ(h.height, 480u);
  EXPECT_EQ(h.frame_interval, kFrameInterval);
  // Reserved fields and all slots are zero.
  const auto* bytes = reinterpret_cast<const uint8_t*>(g_slots.frame_queue->header);
  for (size_t at : {24u, 36u}) EXPECT_EQ(bytes[at], 0) << at;
  EXPECT_TRUE(std::all_of(bytes + 48, bytes + 96, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(bytes + 96, bytes + reader_.RegionBytes(), [](uint8_t b) { return b == 0; }));
  FrameQueueReader::Frame frame;
  EXPECT_EQ(reader_.CopyNewestFrame(frame), FrameQueueReader::Copy::NoFrame);
}

TEST_F(Writer, FramesGoToSlotsOneTwoZeroOne) {
  Open(64, 48);
  const uint32_t expected_slot[] = {1, 2, 0, 1};
  for (uint32_t n = 1; n <= 4; ++n) {
    Feeder feeder;
    feeder.Feed({MakeSample({64, 48, 0, 0, static_cast<uint8_t>(n), 128}, GstClockTime{n} * 1000)});
    const FrameQueueHeader h = reader_.Header();
    EXPECT_EQ(h.write_index, n);
    EXPECT_EQ(h.read_index, n);
    EXPECT_EQ(h.state, kFrameQueueWritten);
    const uint32_t slot = expected_slot[n - 1];
    EXPECT_EQ(g_slots.frame_queue->slot_header[slot]->timestamp, n * 1000);
    EXPECT_EQ(g_slots.frame_queue->slot_data[slot][0], n);
    FrameQueueReader::Frame frame;
    ASSERT_EQ(reader_.CopyNewestFrame(frame), FrameQueueReader::Copy::Copied);
    EXPECT_EQ(frame.index, n);
    EXPECT_EQ(frame.timestamp, n * 1000);
    EXPECT_EQ(frame.pixels.front(), n);
    EXPECT_EQ(frame.pixels.back(), 128);
  }
}

TEST_F(Writer, CountersWrapAndTheSlotFollowsThem) {
  Open(32, 16);
  g_slots.frame_queue->header->write_index = UINT32_MAX - 1;
  g_slots.frame_queue->header->read_index = UINT32_MAX - 1;
  std::vector<GstSample*> samples;
  samples.reserve(3);
  for (int n = 0; n < 3; ++n) samples.push_back(MakeSample({32, 16}, n));
  Feeder().Feed(samples);
  // 2^32 - 1 is a multiple of 3: frames 2^32 - 1 and 0 both go to slot 0,
  // then frame 1 to slot 1.
  const FrameQueueHeader h = reader_.Header();
  EXPECT_EQ(h.write_index, 1u);
  EXPECT_EQ(h.read_index, 1u);
  EXPECT_EQ(g_slots.frame_queue->slot_header[0]->timestamp, 1u);
  EXPECT_EQ(g_slots.frame_queue->slot_header[1]->timestamp, 2u);
  EXPECT_EQ(g_slots.frame_queue->slot_header[2]->timestamp, 0u);
  FrameQueueReader::Frame frame;
  ASSERT_EQ(reader_.CopyNewestFrame(frame), FrameQueueReader::Copy::Copied);
  EXPECT_EQ(frame.timestamp, 2u);
}

TEST_F(Writer, BufferWithoutTimestampStoresAllBitsSet) {
  Open(32, 16);
  Feeder().Feed({MakeSample({32, 16}, GST_CLOCK_TIME_NONE)});
  EXPECT_EQ(g_slots.frame_queue->slot_header[1]->timestamp, UINT64_MAX);
}

TEST_F(Writer, CloseMarksTheRegionClosedAndKeepsTheLastFrame) {
  Open(32, 16);
  Feeder().Feed({MakeSample({32, 16, 0, 0, 77, 99}, 5)});
  FrameQueueClose(g_slots.frame_queue);
  g_slots.frame_queue = nullptr;
  const FrameQueueHeader h = reader_.Header();
  EXPECT_EQ(h.state, kFrameQueueClosed);
  EXPECT_EQ(h.read_index, 1u);
  FrameQueueReader::Frame frame;
  ASSERT_EQ(reader_.CopyNewestFrame(frame), FrameQueueReader::Copy::Copied);
  EXPECT_EQ(frame.pixels.front(), 77);
  // The name is gone: a new queue may be made while this reader still holds the old one.
  FrameQueueReader late;
  EXPECT_FALSE(late.Open(name_.c_str()));
  FrameQueue* again = FrameQueueCreate(32, 16, name_.c_str());
  EXPECT_NE(again, nullptr);
  FrameQueueClose(again);
}

TEST_F(Writer, FramesWithoutQueueAreReleased) {
  ASSERT_EQ(g_slots.frame_queue, nullptr);
  std::vector<GstSample*> samples;
  samples.reserve(3);
  for (int n = 0; n < 3; ++n) samples.push_back(MakeSample({32, 16}, n));
  Feeder().Feed(samples);
}

// A sample of `bytes` zero bytes with the given caps (taken over).
GstSample* SampleOf(GstCaps* caps, gsize bytes) {
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
  gst_buffer_memset(buffer, 0, 0, bytes);
  GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
  gst_buffer_unref(buffer);
  gst_caps_unref(caps);
  return sample;
}

// Samples that must not be copied: not raw video, not NV12, a buffer shorter
// than its caps say, caps without a height.
TEST_F(Writer, UnusableSamplesAreDroppedUncopied) {
  Open(32, 16);
  const gsize bytes = 32 * 16 * 3 / 2;
  GstCaps* nv12 = gst_caps_from_string("video/x-raw,format=NV12,width=32,height=16");
  Feeder().Feed({SampleOf(gst_caps_from_string("image/jpeg,width=32,height=16"), bytes),
                 SampleOf(gst_caps_from_string("video/x-raw,format=I420,width=32,height=16"), bytes),
                 SampleOf(gst_caps_copy(nv12), bytes - 1),
                 SampleOf(gst_caps_from_string("video/x-raw,format=NV12,width=32"), bytes)});
  gst_caps_unref(nv12);
  EXPECT_EQ(reader_.Header().write_index, 0u);
  EXPECT_EQ(reader_.Header().state, kFrameQueueCreated);
}

// An empty queue (0 x 0, a 192-byte region) takes frames harmlessly: the
// counters and the timestamp move, no pixel is written.
TEST_F(Writer, EmptyQueueTakesFramesWithoutPixels) {
  Open(0, 0);
  Feeder().Feed({MakeSample({64, 48}, 42)});
  EXPECT_EQ(reader_.RegionBytes(), 192u);
  EXPECT_EQ(reader_.Header().read_index, 1u);
  EXPECT_EQ(reader_.Header().state, kFrameQueueWritten);
  EXPECT_EQ(g_slots.frame_queue->slot_header[1]->timestamp, 42u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(g_slots.frame_queue->header);
  EXPECT_TRUE(std::all_of(bytes + 160, bytes + 192, [](uint8_t b) { return b == 0; }));
}

TEST_F(Writer, VideoTestSourceThroughTheAppsink) {
  Open(320, 240);
  GstElement* pipeline = gst_parse_launch(
      "videotestsrc num-buffers=4 pattern=white ! video/x-raw,format=NV12,width=320,height=240,"
      "framerate=30/1 ! appsink name=sink sync=false emit-signals=true",
      nullptr);
  ASSERT_NE(pipeline, nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  g_signal_connect(sink, "new-sample", G_CALLBACK(OnNewSample), nullptr);
  gst_object_unref(sink);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_EOS);
  EXPECT_NE(message, nullptr);
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);

  EXPECT_EQ(reader_.Header().read_index, 4u);
  FrameQueueReader::Frame frame;
  ASSERT_EQ(reader_.CopyNewestFrame(frame), FrameQueueReader::Copy::Copied);
  EXPECT_EQ(frame.timestamp, 3 * GST_SECOND / 30);
  const auto luma_end = frame.pixels.begin() + std::ptrdiff_t{320} * 240;
  EXPECT_TRUE(std::all_of(frame.pixels.begin(), luma_end, [](uint8_t b) { return b == 235; }));
  EXPECT_TRUE(std::all_of(luma_end, frame.pixels.end(), [](uint8_t b) { return b == 128; }));
}

}  // namespace
