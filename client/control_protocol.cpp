// The control connection's wire format (see control_protocol.h).
#include "client/control_protocol.h"

#include "client/text_trim.h"
#include "platform/tcp_socket.h"

namespace vantrel {
namespace {

constexpr char kAcceptedPrefix[] = "OK=";
constexpr VideoSize kDefaultVideoSize{1920, 1080};
constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// A digit run in `base` that fits in [0, limit]; nullopt when empty, when a
// character is no digit, or when the value passes the limit.
std::optional<int64_t> ParseDigits(std::string_view digits, int base, int64_t limit) {
  if (digits.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    const int digit = DigitValue(c);
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::string LoginLine(std::u16string_view station_name, std::u16string_view pin) {
  std::u16string text = u"name=";
  text.append(station_name).append(u"&pass=").append(pin);
  std::string line;
  line.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 128) {
      line.push_back(static_cast<char>(c));
    } else {
      // One "?" per character: a surrogate pair is a single character.
      if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
      line.push_back('?');
    }
  }
  line += "\r\n";
  return line;
}

void ReplyLineAssembler::Clear() { pending_.clear(); }

void ReplyLineAssembler::Append(const char* data, size_t size) { pending_.append(data, size); }

ReplyLineAssembler::Result ReplyLineAssembler::Next(std::string& line) {
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return pending_.size() > kMaxReplyLineBytes ? Result::TooLong : Result::NoLine;
  if (end > kMaxReplyLineBytes) return Result::TooLong;
  size_t length = end;
  if (length > 0 && pending_[length - 1] == '\r') --length;
  line.clear();
  for (size_t i = 0; i < length; ++i) {
    const char c = pending_[i];
    if (static_cast<unsigned char>(c) > 127) {
      line += kReplacementCharacter;
    } else {
      line.push_back(c);
    }
  }
  pending_.erase(0, end + 1);
  return Result::Line;
}

ReplyKind ClassifyReply(std::string_view line) {
  if (TrimBlanksAndControls(line).empty()) return ReplyKind::Blank;
  return line.starts_with(kAcceptedPrefix) ? ReplyKind::Accepted : ReplyKind::Refusal;
}

std::optional<VideoSize> AcceptedVideoSize(std::string_view line) {
  if (!line.starts_with(kAcceptedPrefix)) return std::nullopt;
  std::string rest(line.substr(sizeof kAcceptedPrefix - 1));
  if (rest.empty()) return kDefaultVideoSize;
  for (char& c : rest) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const size_t split = rest.find('x');
  if (split == std::string::npos) return std::nullopt;
  const auto width = ParseInt32(std::string_view(rest).substr(0, split));
  const auto height = ParseInt32(std::string_view(rest).substr(split + 1));
  if (!width || !height) return std::nullopt;
  return VideoSize{*width, *height};
}

bool IsUsableVideoSize(VideoSize size) { return size.width > 0 && size.height > 0; }

std::optional<int32_t> ParseInt32(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    base = 16;
    text.remove_prefix(1);
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  const auto magnitude = ParseDigits(text, base, limit);
  if (!magnitude) return std::nullopt;
  return static_cast<int32_t>(negative ? -*magnitude : *magnitude);
}

std::optional<uint32_t> ParseDottedIPv4(std::string_view text) {
  uint32_t address = 0;
  for (int group = 0; group < 4; ++group) {
    const size_t dot = text.find('.');
    if ((group < 3) == (dot == std::string_view::npos)) return std::nullopt;
    const auto value = ParseDigits(TrimBlanks(text.substr(0, dot)), 10, 255);
    if (!value) return std::nullopt;
    address = address << 8 | static_cast<uint32_t>(*value);
    text = group < 3 ? text.substr(dot + 1) : std::string_view();
  }
  return address;
}

std::optional<uint32_t> HostAddress(const std::string& host_text) {
  // Empty, or the address field's template with no digit typed.
  if (host_text.find_first_not_of(" .") == std::string::npos) return std::nullopt;
  if (const auto dotted = ParseDottedIPv4(host_text)) return dotted;
  return platform::ResolveIPv4(host_text);
}

}  // namespace vantrel
