// Output pipeline with real video: H.264 over RTP from a sender on loopback,
// or the camera chain, lands in the frame queue as NV12 of the sent size with
// the sent picture; the end closes the queue. Also 200 start/stop cycles with
// no growth in memory or open file descriptors.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "engine/engine_slots.h"
#include "engine/frame_queue_reader.h"
#include "engine/strova.h"
#include "tests/output/output_fixture.h"

namespace {

using namespace outputtest;

// Compares the newest frame in the queue with the pattern at the bar centres;
// the encoder may move a value by a few steps.
void ExpectBars(const FrameQueueReader& reader, int width, int height) {
  const Nv12Frame expected = ReferenceFrame(width, height);
  ASSERT_EQ(expected.stride, width);
  FrameQueueReader::Frame frame;
  ASSERT_EQ(reader.CopyNewestFrame(frame), FrameQueueReader::Copy::Copied);
  Nv12Frame got{width, height, width, frame.pixels};
  for (auto [x, y] : BarCentres(width, height)) {
    SCOPED_TRACE("bar at x=" + std::to_string(x));
    EXPECT_NEAR(got.Y(x, y), expected.Y(x, y), 8);
    EXPECT_NEAR(got.U(x, y), expected.U(x, y), 8);
    EXPECT_NEAR(got.V(x, y), expected.V(x, y), 8);
  }
}

struct Size {
  int width, height;
};

class NetworkVideo : public ::testing::TestWithParam<Size> {};

TEST_P(NetworkVideo, FramesArriveAsNv12OfTheSentSizeAndPicture) {
  const auto [width, height] = GetParam();
  ASSERT_EQ(strova_init(1), 1);
  const int port = FreeUdpPort();
  // The client's call: only the port and the size matter to the network chain.
  ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", width, height, 30, 1), 1);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.Header().state, 1u);
  EXPECT_EQ(reader.Header().width, unsigned(width));
  EXPECT_EQ(reader.Header().height, unsigned(height));

  auto sender = std::make_unique<RtpSender>(port, width, height);
  ASSERT_TRUE(sender->ok());
  ASSERT_TRUE(WaitFor([&] { return reader.Header().read_index >= 20; }, std::chrono::seconds(10)));
  EXPECT_EQ(reader.Header().state, 2u);
  EXPECT_GE(reader.Header().write_index, reader.Header().read_index);
  EXPECT_LE(reader.Header().write_index, reader.Header().read_index + 1);
  ExpectBars(reader, width, height);

  testing::internal::CaptureStdout();
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Deleting pipeline\n");
  EXPECT_EQ(reader.Header().state, 3u);
  const uint32_t last = reader.Header().read_index;
  EXPECT_EQ(reader.Header().write_index, last);
  g_usleep(200'000);
  EXPECT_EQ(reader.Header().read_index, last) << "no frame is written after the end";
  sender.reset();
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Sizes, NetworkVideo, ::testing::Values(Size{320, 240}, Size{352, 288}), [](const auto& info) {
  return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
});

struct CameraCase {
  const char* name;
  int device_index;
  const char* media_type;
};

class CameraVideo : public ::testing::TestWithParam<CameraCase> {};

TEST_P(CameraVideo, FramesOfTheCameraReachTheQueue) {
  const CameraCase& c = GetParam();
  testcamera::Register();
  ASSERT_EQ(strova_init(1), 1);
  ASSERT_EQ(strova_startoutput(c.device_index, nullptr, 0, c.media_type, 320, 240, 30, 1), 1);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open());
  ASSERT_TRUE(WaitFor([&] { return reader.Header().read_index >= 5; }, std::chrono::seconds(10)));
  // The test camera sends the same bars (in the JPEG case through its codec).
  ExpectBars(reader, 320, 240);
  EXPECT_EQ(strova_endoutput(), 1);
  EXPECT_EQ(reader.Header().state, 3u);
  strova_release();
}

INSTANTIATE_TEST_SUITE_P(Cameras, CameraVideo,
                         ::testing::Values(CameraCase{"Raw", 0, "video/x-raw"}, CameraCase{"Jpeg", 1, "image/jpeg"}),
                         [](const auto& info) { return std::string(info.param.name); });

size_t OpenFileDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

TEST(OutputCycles, TwoHundredStartsAndEndsDoNotGrow) {
  ASSERT_EQ(strova_init(1), 1);
  const int port = FreeUdpPort();
  auto sender = std::make_unique<RtpSender>(port, 320, 240, 60);
  ASSERT_TRUE(sender->ok());
  int with_frames = 0;
  const auto cycle = [&] {
    ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 1);
    FrameQueueReader reader;
    ASSERT_TRUE(reader.Open());
    if (WaitFor([&] { return reader.Header().read_index > 0; }, std::chrono::seconds(2))) ++with_frames;
    testing::internal::CaptureStdout();
    ASSERT_EQ(strova_endoutput(), 1);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(reader.Header().state, 3u);
  };
  for (int i = 0; i < 10; ++i) cycle();  // let GStreamer's own caches fill
  const size_t fds = OpenFileDescriptors();
  const size_t rss = ResidentBytes();
  for (int i = 0; i < 200; ++i) cycle();
  EXPECT_EQ(OpenFileDescriptors(), fds);
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer keeps freed memory resident in its quarantine.)
  EXPECT_LT(ResidentBytes(), rss + 8ul * 1024 * 1024) << "from " << rss;
#endif
  EXPECT_GT(with_frames, 180) << "frames flowed in most cycles";
  std::printf("RSS %zu -> %zu bytes, fds %zu, cycles with frames %d of 210\n", rss, ResidentBytes(), fds, with_frames);
  sender.reset();
  strova_release();
}

}  // namespace
