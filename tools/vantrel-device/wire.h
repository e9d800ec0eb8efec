// What the demo device says and understands on the wire: the announcement
// text, the login line and the loopback rule for every destination.
// Pure functions without I/O; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace device {

// Longest login line taken before its LF; a longer one is refused.
constexpr size_t kMaxLoginLine = 4096;

// "NAME (127.0.0.1)": the announcement payload, UTF-8 without terminator.
std::string AnnouncementText(std::string_view name);

struct Login {
  std::string name;
  std::string pin;
};

// "name=NAME&pass=PIN" (the line end already removed). The station name may
// itself hold "&" and "=", so the PIN is what follows the last "&pass=".
std::optional<Login> ParseLoginLine(std::string_view line);

// Takes the first LF-ended line out of `buffer`, without the LF and without a
// CR directly before it; nullopt while no LF has arrived.
std::optional<std::string> TakeLine(std::string& buffer);

// True for 127.0.0.0/8; `address` in host byte order.
bool IsLoopbackIPv4(uint32_t address);

}  // namespace device
