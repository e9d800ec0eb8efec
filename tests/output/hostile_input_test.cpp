// The video port under hostile input, on loopback: a device streams real
// RTP/H.264 bars to the engine while another host floods the port with
// 65,000-byte garbage, or streams a picture of its own. The device's frames
// must keep reaching the frame queue (back within a key-frame interval plus
// one second once the garbage stops), no frame of the second source may, and
// memory stays bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "engine/engine_slots.h"
#include "engine/frame_queue_reader.h"
#include "engine/strova.h"
#include "tests/output/output_fixture.h"

namespace {

using namespace outputtest;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 320, kHeight = 240;
// The test senders' key-frame interval (5 frames at 30/s), plus one second.
constexpr auto kRecovery = std::chrono::milliseconds(167 + 1000);

bool NearBars(const Nv12Frame& got, const Nv12Frame& bars) {
  for (auto [x, y] : BarCentres(kWidth, kHeight)) {
    if (std::abs(got.Y(x, y) - bars.Y(x, y)) > 8 || std::abs(got.U(x, y) - bars.U(x, y)) > 8 ||
        std::abs(got.V(x, y) - bars.V(x, y)) > 8)
      return false;
  }
  return true;
}

// Reads every frame the queue completes and sorts it: the device's bars or
// not.
class FrameWatch {
 public:
  explicit FrameWatch(const FrameQueueReader& reader) : reader_(reader), bars_(ReferenceFrame(kWidth, kHeight)) {}
  // Looks at the newest frame if it is new; true when it is.
  bool Poll() {
    FrameQueueReader::Frame frame;
    if (reader_.CopyNewestFrame(frame) != FrameQueueReader::Copy::Copied || frame.index == last_) return false;
    last_ = frame.index;
    const bool bars = NearBars(Nv12Frame{kWidth, kHeight, kWidth, std::move(frame.pixels)}, bars_);
    ++(bars ? device_frames : other_frames);
    last_was_bars = bars;
    return true;
  }
  // Polls for `span`.
  void Watch(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
      Poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
  // Polls until a frame of the device's bars arrives; false after `limit`.
  bool WaitForBars(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (Poll() && last_was_bars) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return false;
  }
  int device_frames = 0, other_frames = 0;
  bool last_was_bars = false;

 private:
  const FrameQueueReader& reader_;
  Nv12Frame bars_;
  uint32_t last_ = 0;
};

// Floods 127.0.0.1:port with random datagrams from a socket of its own until
// destroyed; one in 16 is dressed as RTP/H.264 of payload type 96.
class GarbageSender {
 public:
  GarbageSender(int port, size_t size, int per_second) {
    thread_ = std::thread([=, this] {
      const int fd = socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(uint16_t(port));
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      // A few random datagrams made once, each sent with a changing SSRC.
      std::mt19937 random(1234);
      std::vector<std::vector<uint8_t>> pool(16, std::vector<uint8_t>(size));
      for (auto& datagram : pool)
        for (auto& byte : datagram) byte = uint8_t(random());
      pool[0][0] = 0x80;
      pool[0][1] = 96;
      pool[0][12] = 0x65;  // an IDR slice
      const auto interval = std::chrono::nanoseconds(1000000000 / per_second);
      auto next = Clock::now();
      for (uint32_t n = 0; !stop_; ++n) {
        std::vector<uint8_t>& datagram = pool[n % pool.size()];
        std::memcpy(datagram.data() + 8, &n, sizeof n);
        if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) ++sent;
        next += interval;
        std::this_thread::sleep_until(next);
      }
      close(fd);
    });
  }
  ~GarbageSender() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<uint64_t> sent{0};

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(strova_init(1), 1);
    port_ = FreeUdpPort();
    ASSERT_EQ(strova_startoutput(0, nullptr, port_, "video/x-raw", kWidth, kHeight, 30, 1), 1);
    ASSERT_TRUE(reader_.Open());
    device_ = std::make_unique<RtpSender>(port_, kWidth, kHeight);
    ASSERT_TRUE(device_->ok());
    watch_ = std::make_unique<FrameWatch>(reader_);
    ASSERT_TRUE(watch_->WaitForBars(std::chrono::seconds(10)));
  }
  void TearDown() override {
    watch_.reset();
    device_.reset();
    strova_endoutput();
    strova_release();
  }
  int port_ = 0;
  FrameQueueReader reader_;
  std::unique_ptr<RtpSender> device_;
  std::unique_ptr<FrameWatch> watch_;
};

TEST_F(HostileInput, LargeGarbageDatagramsNeverStopTheDevicesFrames) {
  watch_->Watch(std::chrono::milliseconds(500));  // decoder and pools at their steady size
  const size_t resident_before = ResidentBytes();
  const int before = watch_->device_frames;
  uint64_t garbage = 0;
  {
    GarbageSender flood(port_, 65000, 2000);
    watch_->Watch(std::chrono::seconds(3));
    garbage = flood.sent;
  }
  const int during = watch_->device_frames - before;
  ASSERT_TRUE(watch_->WaitForBars(kRecovery)) << "the device's frames are back within a key-frame interval + 1 s";
  const int after_start = watch_->device_frames;
  watch_->Watch(std::chrono::seconds(1));
  const int after = watch_->device_frames - after_start;
  std::printf(
      "%llu garbage datagrams; device frames: %d in 3 s of garbage, %d in the second after, %d other "
      "pictures; RSS %zu -> %zu\n",
      static_cast<unsigned long long>(garbage), during, after, watch_->other_frames, resident_before, ResidentBytes());
  EXPECT_GT(garbage, 1000u);
  EXPECT_GE(after, 15) << "frames flow at the device's rate again";
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(ResidentBytes(), resident_before + 32ul * 1024 * 1024);
#endif
}

TEST_F(HostileInput, SecondSourceIsIgnoredUntilTheDeviceFallsSilent) {
  auto intruder = std::make_unique<RtpSender>(port_, kWidth, kHeight, 30, "red");
  ASSERT_TRUE(intruder->ok());
  watch_->Watch(std::chrono::milliseconds(1500));
  EXPECT_EQ(watch_->other_frames, 0) << "no frame of the second source while the device sends";
  EXPECT_GT(watch_->device_frames, 30);

  // The device stops; the other source is taken once the device has been
  // silent long enough.
  device_.reset();
  const int device_frames = watch_->device_frames;
  const auto stopped = Clock::now();
  ASSERT_TRUE(WaitFor(
      [&] {
        watch_->Poll();
        return watch_->other_frames > 0;
      },
      std::chrono::seconds(6)));
  const auto taken = Clock::now() - stopped;
  EXPECT_GE(taken, std::chrono::milliseconds(1500)) << "not before the device has been silent";
  EXPECT_LE(watch_->device_frames, device_frames + 3);
  intruder.reset();
}

}  // namespace
