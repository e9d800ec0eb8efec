// The station name the client gives itself at login: "KXD-" followed by the
// third and fourth number of the machine's first private IPv4 address.
// The rules are pure functions; GetLocalIP asks the system. Any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The first entry of `addresses`, trimmed, that begins with "192.168." or
// "10.", or with "172." and a second number from 16 to 31; empty when none.
std::string ChoosePrivateAddress(const std::vector<std::string>& addresses);

// ChoosePrivateAddress over the machine's own IPv4 addresses.
std::string GetLocalIP();

// "KXD-" + the third and fourth dot-separated piece of `address` (leading
// blanks of a piece skipped, empty pieces dropped); a missing piece adds
// nothing, so an empty address gives "KXD-".
std::string StationName(std::string_view address);

}  // namespace vantrel
