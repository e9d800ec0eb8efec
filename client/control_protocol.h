// The control connection's wire format: the login line, reply lines cut from
// received bytes, what a reply means, the video size of an accepted reply,
// and the device address of a host text. Pure functions (HostAddress alone
// asks the system's name resolution); no sockets, no window, no threads of
// their own; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

constexpr uint16_t kControlPort = 51034;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kReplyReadTimeoutMs = 500;
constexpr size_t kMaxReplyLineBytes = 16384;

// "name=" + station name + "&pass=" + PIN + CR LF, in 7-bit ASCII: every
// character above 127 becomes one "?"; "&" and "=" are sent as they are.
std::string LoginLine(std::u16string_view station_name, std::u16string_view pin);

// Cuts received bytes into LF-ended lines. A CR right before the LF is
// dropped; a byte above 127 reads as U+FFFD (the lines are UTF-8); bytes of
// an unfinished line stay for later.
class ReplyLineAssembler {
 public:
  enum class Result { Line, NoLine, TooLong };

  void Clear();
  void Append(const char* data, size_t size);
  // The next complete line; TooLong once a line holds more than
  // kMaxReplyLineBytes bytes before its LF (also while still unfinished).
  Result Next(std::string& line);

 private:
  std::string pending_;
};

enum class ReplyKind {
  Blank,     // empty, or only characters of code 32 and below
  Accepted,  // begins with "OK=" at its first character
  Refusal,   // anything else
};
ReplyKind ClassifyReply(std::string_view line);

struct VideoSize {
  int32_t width;
  int32_t height;
  bool operator==(const VideoSize&) const = default;
};

// The size named by an accepted reply (the whole line, "OK=" included):
// 1920 x 1080 for an empty rest, else width "x" height (either case of x);
// nullopt when the rest names no valid size.
std::optional<VideoSize> AcceptedVideoSize(std::string_view line);

// A size the engine can be asked for: both sides above 0. An accepted reply
// naming another size is treated as naming no valid size.
bool IsUsableVideoSize(VideoSize size);

// A 32-bit signed number: leading blanks, an optional sign, then "$", "0x"
// or "x" for hexadecimal digits, else decimal digits; nothing after them.
std::optional<int32_t> ParseInt32(std::string_view text);

// Four dot-separated groups, each a number from 0 to 255 with blanks around
// it: the address in host byte order. nullopt for any other text.
std::optional<uint32_t> ParseDottedIPv4(std::string_view text);

// The device address for a host text: the dotted form, else the system's
// IPv4 name resolution (which may block); nullopt for a text of nothing but
// blanks and dots (the empty address field), which is not looked up.
std::optional<uint32_t> HostAddress(const std::string& host_text);

}  // namespace vantrel
