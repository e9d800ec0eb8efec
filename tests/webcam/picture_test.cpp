// vantrel-camera's pure parts: command line, camera size, letterbox,
// placeholder, YUYV and pacing.
#include <gtest/gtest.h>

#include <vector>

#include "tools/vantrel-camera/camera_options.h"
#include "tools/vantrel-camera/camera_picture.h"

namespace {

TEST(WebcamOptions, GoodAndBadCommandLines) {
  std::string error;
  const auto defaults = ParseCameraOptions({}, error);
  ASSERT_TRUE(defaults);
  EXPECT_TRUE(defaults->v4l2_device.empty());
  EXPECT_FALSE(defaults->size);
  EXPECT_EQ(defaults->region_name, kFrameQueueName);
  const auto all = ParseCameraOptions({"--v4l2", "/dev/video10", "--size", "1280x720", "--name", "q"}, error);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->v4l2_device, "/dev/video10");
  EXPECT_EQ(*all->size, (PictureSize{1280, 720}));
  EXPECT_EQ(all->region_name, "q");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--size", "0x0"},
                                              {"--size", "641x480"},
                                              {"--size", "1280x"},
                                              {"--size", "x720"},
                                              {"--size", "8194x2"},
                                              {"--size", "-2x4"},
                                              {"--size", "12x12"},
                                              {"--size", "99999999x2"},
                                              {"--v4l2"},
                                              {"--v4l2", ""},
                                              {"--fps", "30"},
                                              {"extra"}}) {
    EXPECT_FALSE(ParseCameraOptions(bad, error)) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(ParseCameraOptions({"--help"}, error));
  EXPECT_TRUE(error.empty());
}

TEST(WebcamPicture, CameraSizeOfASession) {
  EXPECT_EQ(CameraSizeOf({1280, 720}), (PictureSize{1280, 720}));
  EXPECT_EQ(CameraSizeOf({642, 481}), (PictureSize{642, 480}));
  EXPECT_FALSE(CameraSizeOf({0, 0}));
  EXPECT_FALSE(CameraSizeOf({1280, 0}));
  EXPECT_FALSE(CameraSizeOf({9000, 720}));
}

TEST(WebcamPicture, LetterboxKeepsTheAspectRatioCentredAndEven) {
  struct Case {
    PictureSize source, target;
    PictureRect rect;
  } cases[] = {
      {{1280, 720}, {1280, 720}, {0, 0, 1280, 720}},
      {{640, 360}, {1280, 720}, {0, 0, 1280, 720}},    // same shape, scaled up
      {{640, 480}, {1280, 720}, {160, 0, 960, 720}},   // 4:3 in 16:9: bars left and right
      {{1920, 800}, {1280, 720}, {0, 94, 1280, 532}},  // wider: bars above and below
      {{642, 481}, {320, 240}, {0, 0, 320, 238}},
      {{2, 4000}, {320, 240}, {158, 0, 2, 240}},  // never narrower than one chroma pair
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LetterboxRect(c.source, c.target), c.rect) << c.source.width << "x" << c.source.height;
  }
}

// An NV12 frame of exactly its frame-queue size, every Y `luma`, every U,V pair `u`,`v`.
std::vector<uint8_t> Solid(PictureSize size, uint8_t luma, uint8_t u, uint8_t v) {
  const size_t y = size_t{size.width} * size.height;
  std::vector<uint8_t> frame(y * 3 / 2, luma);
  for (size_t i = y; i < frame.size(); ++i) frame[i] = (i - y) % size.width % 2 ? v : u;  // pairs start each row
  return frame;
}

TEST(WebcamPicture, LetterboxFillsTheRectangleAndPaintsBlackBars) {
  const PictureSize target{64, 48};
  for (PictureSize source : {PictureSize{128, 48}, PictureSize{33, 47}, PictureSize{7, 3}, PictureSize{64, 48}}) {
    SCOPED_TRACE(std::to_string(source.width) + "x" + std::to_string(source.height));
    const std::vector<uint8_t> in = Solid(source, 150, 60, 200);
    std::vector<uint8_t> out(Nv12Bytes(target));
    LetterboxNv12({in.data(), source.width, source.height, in.size()}, out.data(), target);
    const PictureRect rect = LetterboxRect(source, target);
    for (uint32_t y = 0; y < target.height; ++y) {
      for (uint32_t x = 0; x < target.width; ++x) {
        const bool inside = x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
        ASSERT_EQ(out[y * target.width + x], inside ? 150 : kBlackLuma) << x << "," << y;
      }
    }
    const uint8_t* uv = out.data() + size_t{target.width} * target.height;
    const uint32_t mid = (rect.y + rect.height / 2) / 2 * target.width + (rect.x + rect.width / 2) / 2 * 2;
    EXPECT_EQ(uv[mid], 60);
    EXPECT_EQ(uv[mid + 1], 200);
    EXPECT_EQ(uv[0], rect.x || rect.y ? kNeutralChroma : 60);
  }
}

TEST(WebcamPicture, PlaceholderIsDarkGreyAndNotBlack) {
  const PictureSize size{16, 16};
  std::vector<uint8_t> frame(Nv12Bytes(size));
  FillPlaceholder(frame.data(), size);
  EXPECT_EQ(frame.front(), kPlaceholderLuma);
  EXPECT_EQ(frame.back(), kNeutralChroma);
  EXPECT_NE(kPlaceholderLuma, kBlackLuma);
}

TEST(WebcamPicture, Nv12ToYuyv) {
  // 4x2: Y 0..7, one UV row (10,11), (12,13).
  const std::vector<uint8_t> nv12 = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13};
  std::vector<uint8_t> yuyv(16);
  Nv12ToYuyv(nv12.data(), {4, 2}, yuyv.data());
  EXPECT_EQ(yuyv, (std::vector<uint8_t>{0, 10, 1, 11, 2, 12, 3, 13, 4, 10, 5, 11, 6, 12, 7, 13}));
}

TEST(WebcamPacing, TicksAtTheIntervalAndNeverBurstsAfterAStall) {
  using namespace std::chrono;
  const Pacer::Clock::time_point start{};
  Pacer pacer(start, milliseconds(33));
  EXPECT_EQ(pacer.Due(), start);
  pacer.Ticked(start + milliseconds(1));
  EXPECT_EQ(pacer.Due(), start + milliseconds(33));
  pacer.Ticked(start + milliseconds(40));  // a little late: the grid is kept
  EXPECT_EQ(pacer.Due(), start + milliseconds(66));
  pacer.Ticked(start + milliseconds(500));  // stalled: the next tick one interval on
  EXPECT_EQ(pacer.Due(), start + milliseconds(533));
}

TEST(WebcamPacing, OutputIntervalComesFromTheQueue) {
  using std::chrono::nanoseconds;
  EXPECT_EQ(OutputInterval(kFrameInterval), nanoseconds(33'333'300));
  EXPECT_EQ(OutputInterval(400'000), nanoseconds(40'000'000));
  EXPECT_EQ(OutputInterval(0), nanoseconds(33'333'300));
  EXPECT_EQ(OutputInterval(UINT64_MAX), nanoseconds(33'333'300));
}

}  // namespace
