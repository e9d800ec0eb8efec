// The announcement a device sends to the discovery port: UTF-8 text holding
// its name followed by its IPv4 address in parentheses, "Camera (192.168.1.50)".
// Pure parsing, no state; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct Announcement {
  std::string text;  // the whole payload, blanks and controls trimmed from both ends
  std::string name;  // the text before the first "(", trimmed; never empty
};

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no cut-off sequence).
bool IsValidUtf8(std::string_view bytes);

// The announcement in a datagram's payload; nullopt when the datagram is to
// be ignored: not UTF-8, empty after trimming, no "(", or an empty name.
std::optional<Announcement> ParseAnnouncement(std::string_view payload);

// The trimmed text between the first "(" of an announcement text and the
// first ")" after it; nullopt when either is missing.
std::optional<std::string> AnnouncedAddress(std::string_view text);

}  // namespace vantrel
