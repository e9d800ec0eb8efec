// vantrel-framequeue's pure parts: command line, report text, pictures.
#include "tools/vantrel-framequeue/framequeue_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const char kWatchUsage[] =
    "usage: vantrel-framequeue [--seconds N] [--pgm FILE] [--png FILE] [--name REGION]\n"
    "Watches the frame queue for N seconds (default 5) and prints what it saw;\n"
    "--pgm saves the newest frame's Y plane, --png the newest frame in colour.\n";

std::optional<WatchOptions> ParseWatchOptions(const std::vector<std::string>& args, std::string& error) {
  WatchOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      error.clear();
      return std::nullopt;
    }
    if (i + 1 == args.size()) {
      error = "missing value or unknown argument: " + flag;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (flag == "--seconds") {
      char* end = nullptr;
      options.seconds = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(options.seconds > 0) || options.seconds > 86400) {
        error = "--seconds wants a number of seconds above 0: " + value;
        return std::nullopt;
      }
    } else if (flag == "--pgm") {
      options.pgm_path = value;
    } else if (flag == "--png") {
      options.png_path = value;
    } else if (flag == "--name") {
      options.region_name = value;
    } else {
      error = "unknown argument: " + flag;
      return std::nullopt;
    }
  }
  return options;
}

const char* StateName(uint32_t state) {
  switch (state) {
    case kFrameQueueCreated:
      return "created, no frame yet";
    case kFrameQueueWritten:
      return "frames being written";
    case kFrameQueueClosed:
      return "closed by the writer";
    default:
      return "unknown";
  }
}

std::string FormatReport(const WatchReport& r) {
  const uint32_t frames = r.last.read_index - r.first.read_index;
  const double rate = r.seconds > 0 ? frames / r.seconds : 0;
  char text[512];
  std::snprintf(text, sizeof text,
                "size: %u x %u\n"
                "frames written: %u in total, %u while watched for %.1f s\n"
                "frame rate: %.1f frames/s\n"
                "state: %u (%s)\n"
                "writer: %s\n",
                r.last.width, r.last.height, r.last.read_index, frames, r.seconds, rate, r.last.state,
                StateName(r.last.state),
                r.writer_alive ? "running" : "gone (the region is left over; its counters will not move)");
  return text;
}

std::vector<uint8_t> PgmOfLuma(const uint8_t* luma, uint32_t width, uint32_t height) {
  const std::string head = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  std::vector<uint8_t> file(head.begin(), head.end());
  file.insert(file.end(), luma, luma + static_cast<size_t>(width) * height);
  return file;
}

std::vector<uint8_t> RgbOfNv12(const uint8_t* frame, uint32_t width, uint32_t height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const size_t luma_bytes = static_cast<size_t>(width) * height;
  const size_t frame_bytes = luma_bytes * 3 / 2;
  auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
  for (uint32_t row = 0; row < height; ++row) {
    for (uint32_t col = 0; col < width; ++col) {
      // The frame area ends inside the last UV row when the height is odd.
      const size_t uv_at = luma_bytes + static_cast<size_t>(row / 2) * width + (col & ~1u);
      const int u = uv_at + 1 < frame_bytes ? frame[uv_at] - 128 : 0;
      const int v = uv_at + 1 < frame_bytes ? frame[uv_at + 1] - 128 : 0;
      const int c = 298 * (frame[static_cast<size_t>(row) * width + col] - 16);
      uint8_t* out = &rgb[(static_cast<size_t>(row) * width + col) * 3];
      out[0] = clamp((c + 409 * v + 128) >> 8);
      out[1] = clamp((c - 100 * u - 208 * v + 128) >> 8);
      out[2] = clamp((c + 516 * u + 128) >> 8);
    }
  }
  return rgb;
}
