// Announcement text, login line parsing and the loopback rule.
#include "tools/vantrel-device/wire.h"

namespace device {

std::string AnnouncementText(std::string_view name) { return std::string(name) + " (127.0.0.1)"; }

std::optional<Login> ParseLoginLine(std::string_view line) {
  constexpr std::string_view kName = "name=";
  constexpr std::string_view kPass = "&pass=";
  if (!line.starts_with(kName)) return std::nullopt;
  const size_t pass = line.rfind(kPass);
  if (pass == std::string_view::npos || pass < kName.size()) return std::nullopt;
  return Login{std::string(line.substr(kName.size(), pass - kName.size())),
               std::string(line.substr(pass + kPass.size()))};
}

std::optional<std::string> TakeLine(std::string& buffer) {
  const size_t lf = buffer.find('\n');
  if (lf == std::string::npos) return std::nullopt;
  const size_t end = lf > 0 && buffer[lf - 1] == '\r' ? lf - 1 : lf;
  std::string line = buffer.substr(0, end);
  buffer.erase(0, lf + 1);
  return line;
}

bool IsLoopbackIPv4(uint32_t address) { return (address >> 24) == 127; }

}  // namespace device
