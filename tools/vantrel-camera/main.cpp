// vantrel-camera: publishes the frame queue as a camera (PipeWire node, or a
// v4l2loopback device). One loop thread: each tick it looks at the queue,
// picks the picture and hands it to the output, then sleeps to the next
// tick. A reader of the region only; it never writes it.
#include <gst/gst.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#include "tools/vantrel-camera/camera_feed.h"
#include "tools/vantrel-camera/camera_output.h"
#include "tools/vantrel-camera/camera_pictures.h"

namespace {

std::atomic<bool> g_stop{false};

void Say(const std::string& text) { std::fprintf(stderr, "vantrel-camera: %s\n", text.c_str()); }

int Fail(const std::string& text) {
  Say(text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseCameraOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    if (!error.empty()) return Fail(error);
    std::fputs(kCameraUsage, stdout);
    return 0;
  }
  std::signal(SIGINT, [](int) { g_stop = true; });
  std::signal(SIGTERM, [](int) { g_stop = true; });
  std::signal(SIGPIPE, SIG_IGN);
  gst_init(nullptr, nullptr);

  std::unique_ptr<CameraOutput> output =
      options->v4l2_device.empty() ? OpenPipeWireOutput(error) : OpenV4l2Output(options->v4l2_device, error);
  if (!output) return Fail(error);

  CameraFeed feed(options->region_name, Say);
  Say("waiting for the frame queue \"" + options->region_name + "\"");
  // The camera's size: given, or the first session's.
  CameraFeed::Step step;
  std::optional<PictureSize> size = options->size;
  uint64_t frame_interval = kFrameInterval;
  while (!size && !g_stop) {
    step = feed.Poll();
    if (step.frame_interval) frame_interval = step.frame_interval;
    if (step.size.width || step.size.height) size = CameraSizeOf(step.size);
    if (!size) std::this_thread::sleep_for(OutputInterval(kFrameInterval));
  }
  if (g_stop) return 0;
  const auto interval = OutputInterval(frame_interval);
  if (!output->Start(*size, interval, error)) return Fail(error);
  Say("camera of " + std::to_string(size->width) + "x" + std::to_string(size->height) + " at " + output->Where());

  CameraPictures pictures(*size);
  Pacer pacer(Pacer::Clock::now(), interval);
  bool first = true;
  while (!g_stop) {
    if (!first) step = feed.Poll();
    first = false;
    if (!output->Publish(pictures.For(step), error)) return Fail(error);
    std::this_thread::sleep_until(pacer.Due());
    pacer.Ticked(Pacer::Clock::now());
  }
  return 0;
}
