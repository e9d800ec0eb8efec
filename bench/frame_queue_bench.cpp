// The per-frame write into a real frame-queue region against a plain memcpy
// of the same bytes into the same slots, at 1280x720 and 1920x1080, printed
// as a ratio. Target: the write costs at most 1.1x the memcpy.
// Single-threaded; uses a region name of its own.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/frame_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFramesPerRound = 100;
constexpr int kRounds = 60;

void KeepMemory() { asm volatile("" ::: "memory"); }

// Microseconds per frame of one round.
template <typename Step>
double RoundMicroseconds(Step step) {
  const auto start = Clock::now();
  for (int i = 0; i < kFramesPerRound; ++i) {
    step(i);
    KeepMemory();
  }
  const std::chrono::duration<double, std::micro> took = Clock::now() - start;
  return took.count() / kFramesPerRound;
}

bool Measure(int32_t width, int32_t height) {
  const std::string name = "vantrelBench-" + std::to_string(getpid());
  FrameQueue* queue = FrameQueueCreate(width, height, name.c_str());
  if (!queue) {
    std::fprintf(stderr, "no frame queue for %dx%d\n", width, height);
    return false;
  }
  const FrameQueueLayout& layout = queue->layout;
  std::vector<uint8_t> frame(layout.frame_bytes);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  const FramePlanes planes{frame.data(), frame.data() + layout.luma_bytes, layout.width, layout.width, layout.width,
                           layout.height};

  auto write = [&](int) { WriteFrame(queue, planes, 0); };
  auto copy = [&](int i) { std::memcpy(queue->slot_data[i % kFrameQueueSlots], frame.data(), layout.frame_bytes); };
  // Touch every page of the region first.
  for (int i = 0; i < 6; ++i) write(i);
  // Rounds of the two alternate, so that both see the same machine load;
  // the fastest round of each counts.
  double write_us = 1e30, copy_us = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    write_us = std::min(write_us, RoundMicroseconds(write));
    copy_us = std::min(copy_us, RoundMicroseconds(copy));
  }
  std::printf("%4dx%-4d  write %8.1f us  memcpy %8.1f us  ratio %.3f (target <= 1.10)\n", width, height, write_us,
              copy_us, write_us / copy_us);
  FrameQueueClose(queue);
  return true;
}

}  // namespace

int main() {
  const bool ok = Measure(1280, 720) && Measure(1920, 1080);
  return ok ? 0 : 1;
}
