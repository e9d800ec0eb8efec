// vantrel-framequeue: the parts of the tool that need no region and no
// clock: its command line, the statistics of a watch, and the pictures it
// saves. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/frame_queue_layout.h"

struct WatchOptions {
  double seconds = 5;
  std::string region_name = kFrameQueueName;
  std::string pgm_path;  // the newest frame's Y plane, when set
  std::string png_path;  // the newest frame in colour, when set
};

// nullopt (with `error` set) for an unknown flag or a bad value.
std::optional<WatchOptions> ParseWatchOptions(const std::vector<std::string>& args, std::string& error);
extern const char kWatchUsage[];

// What the tool saw between the first and the last look at the header.
struct WatchReport {
  FrameQueueHeader first;
  FrameQueueHeader last;
  double seconds;     // between the two looks
  bool writer_alive;  // at the last look
};
const char* StateName(uint32_t state);
// The lines the tool prints.
std::string FormatReport(const WatchReport& report);

// "P5" binary PGM of the Y plane.
std::vector<uint8_t> PgmOfLuma(const uint8_t* luma, uint32_t width, uint32_t height);
// Packed 8-bit RGB of an NV12 frame (BT.601, video range).
std::vector<uint8_t> RgbOfNv12(const uint8_t* frame, uint32_t width, uint32_t height);
