// Station name rules (see station_name.h).
#include "client/station_name.h"

#include <algorithm>
#include <charconv>

#include "client/text_trim.h"
#include "platform/local_addresses.h"

namespace vantrel {
namespace {

bool IsPrivate(std::string_view address) {
  if (address.starts_with("192.168.") || address.starts_with("10.")) return true;
  if (!address.starts_with("172.")) return false;
  // The second number, in decimal digits only, as the system writes it.
  const std::string_view rest = address.substr(4);
  const std::string_view second = rest.substr(0, rest.find('.'));
  if (second.empty() || second.find_first_not_of("0123456789") != std::string_view::npos) return false;
  int value = 0;
  const auto [end, error] = std::from_chars(second.data(), second.data() + second.size(), value);
  return error == std::errc() && value >= 16 && value <= 31;
}

}  // namespace

std::string ChoosePrivateAddress(const std::vector<std::string>& addresses) {
  for (const std::string& entry : addresses) {
    const std::string_view address = TrimBlanksAndControls(entry);
    if (IsPrivate(address)) return std::string(address);
  }
  return {};
}

std::string GetLocalIP() { return ChoosePrivateAddress(platform::LocalIPv4Addresses()); }

std::string StationName(std::string_view address) {
  std::string name = "KXD-";
  int index = 0;
  while (!address.empty()) {
    const std::size_t dot = address.find('.');
    std::string_view piece = address.substr(0, dot);
    address = dot == std::string_view::npos ? std::string_view() : address.substr(dot + 1);
    piece.remove_prefix(std::min(piece.find_first_not_of(' '), piece.size()));
    if (piece.empty()) continue;
    if (index == 2 || index == 3) name += piece;
    ++index;
  }
  return name;
}

}  // namespace vantrel
