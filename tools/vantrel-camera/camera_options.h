// vantrel-camera's command line: which output, which size, which region.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/frame_queue_layout.h"

struct PictureSize {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const PictureSize&) const = default;
};

struct CameraOptions {
  std::string v4l2_device;          // empty: publish as a PipeWire camera
  std::optional<PictureSize> size;  // empty: the first session's size
  std::string region_name = kFrameQueueName;
};

// nullopt with `error` set for a bad command line; nullopt with `error` empty
// for --help.
std::optional<CameraOptions> ParseCameraOptions(const std::vector<std::string>& args, std::string& error);
extern const char kCameraUsage[];
