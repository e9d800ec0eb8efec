// vantrel-camera's CPU per published frame, against a plain memcpy of the
// same frame out of the same region, at 1280x720 and 1920x1080: the NV12
// path (a new frame read from a real frame-queue region and made the
// picture: one copy), the letterbox path (a session of another size scaled
// into the camera's) and the v4l2 conversion to YUYV. Thread CPU time; the
// fastest of alternating rounds counts. Target on the NV12 path: <= 1.5x.
// Single-threaded; uses a region name of its own.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/frame_queue.h"
#include "tools/vantrel-camera/camera_feed.h"
#include "tools/vantrel-camera/camera_pictures.h"

namespace {

constexpr int kFramesPerRound = 50;
constexpr int kRounds = 20;

double ThreadMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Microseconds of CPU per frame of one round; `prepare` runs untimed before
// each frame.
template <typename Prepare, typename Step>
double Round(Prepare prepare, Step step) {
  double total = 0;
  for (int i = 0; i < kFramesPerRound; ++i) {
    prepare();
    const double start = ThreadMicroseconds();
    step();
    total += ThreadMicroseconds() - start;
  }
  return total / kFramesPerRound;
}

struct Result {
  double camera_us = 1e30;
  double memcpy_us = 1e30;
};

// A session of `session` size published by a camera of `camera` size.
bool Measure(PictureSize session, PictureSize camera, const char* what, bool to_yuyv = false) {
  const std::string name = "vantrelCameraBench-" + std::to_string(getpid());
  FrameQueue* queue =
      FrameQueueCreate(static_cast<int32_t>(session.width), static_cast<int32_t>(session.height), name.c_str());
  if (!queue) {
    std::fprintf(stderr, "no frame queue for %ux%u\n", session.width, session.height);
    return false;
  }
  const FrameQueueLayout& layout = queue->layout;
  std::vector<uint8_t> frame(layout.frame_bytes);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  const FramePlanes planes{frame.data(), frame.data() + layout.luma_bytes, layout.width, layout.width, layout.width,
                           layout.height};
  auto write = [&] { WriteFrame(queue, planes, 0); };

  CameraFeed feed(name, [](const std::string&) {});
  CameraPictures pictures(camera);
  std::vector<uint8_t> yuyv(size_t{camera.width} * camera.height * 2);
  write();
  for (int i = 0; i < 40 && feed.Poll().kind != CameraFeed::Step::kRepeat; ++i) write();
  auto publish = [&] {
    const Picture picture = pictures.For(feed.Poll());
    if (to_yuyv) Nv12ToYuyv(picture->data(), camera, yuyv.data());
  };
  std::vector<uint8_t> out(layout.frame_bytes);
  auto copy = [&] {
    std::memcpy(out.data(), queue->slot_data[queue->header->read_index % kFrameQueueSlots], layout.frame_bytes);
  };
  for (int i = 0; i < 6; ++i) {
    write();
    publish();
    copy();
  }
  Result r;
  for (int round = 0; round < kRounds; ++round) {
    r.camera_us = std::min(r.camera_us, Round(write, publish));
    r.memcpy_us = std::min(r.memcpy_us, Round(write, copy));
  }
  std::printf("%-26s %4ux%-4u -> %4ux%-4u  camera %8.1f us  memcpy %8.1f us  ratio %.2f\n", what, session.width,
              session.height, camera.width, camera.height, r.camera_us, r.memcpy_us, r.camera_us / r.memcpy_us);
  FrameQueueClose(queue);
  return true;
}

}  // namespace

int main() {
  std::printf("CPU per published frame against a memcpy of the session's frame (target on the NV12 path <= 1.50)\n");
  bool ok = true;
  for (PictureSize size : {PictureSize{1280, 720}, PictureSize{1920, 1080}}) {
    ok = ok && Measure(size, size, "NV12 (PipeWire)");
  }
  for (PictureSize size : {PictureSize{1280, 720}, PictureSize{1920, 1080}}) {
    ok = ok && Measure(size, size, "NV12 + YUYV (v4l2)", true);
  }
  ok = ok && Measure({1280, 720}, {1920, 1080}, "letterbox (other size)");
  ok = ok && Measure({640, 480}, {1280, 720}, "letterbox (other size)");
  return ok ? 0 : 1;
}
