// Command line of the demo device: what it announces, which PIN it accepts,
// what it answers and which ports it uses. Pure parsing, no I/O; called once
// on the main thread before anything starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

struct DeviceOptions {
  std::string name = "Vantrel Demo Camera";
  std::string pin;  // four digits; empty until the program picks one
  int width = 1280;
  int height = 720;
  std::string refuse_text = "DENIED";
  // Bytes sent after an accepted login, one entry at a time, `reply_interval_ms`
  // apart; empty when the device stays silent.
  std::vector<std::string> replies;
  int reply_interval_ms = 1000;
  bool close_abruptly = false;
  bool once = false;
  int lifetime_s = 0;  // 0: no limit
  uint16_t announce_port = 51033;
  uint16_t control_port = 51034;  // 0: any free port (printed at start)
  uint16_t video_port = 51035;
};

struct ParsedOptions {
  std::optional<DeviceOptions> options;  // set when the command line is valid
  bool help = false;
  std::string error;  // why the command line is invalid
};

ParsedOptions ParseDeviceOptions(const std::vector<std::string_view>& args);

std::string UsageText();

// The accepting reply for a video size: "OK=1280x720\n".
std::string OkLine(int width, int height);

// "WxH" with both parts positive, even and at most 7680x4320.
std::optional<std::pair<int, int>> ParseSize(std::string_view text);

// Backslash escapes \r \n \t \\ and \xHH turned into their bytes; nullopt when
// an escape is malformed.
std::optional<std::string> DecodeEscapes(std::string_view text);

// Bytes as a readable one-line text, control bytes written as escapes.
std::string Printable(std::string_view bytes);

}  // namespace device
