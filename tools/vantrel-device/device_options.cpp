// Parsing of the demo device's command line.
#include "tools/vantrel-device/device_options.h"

#include <charconv>

namespace device {
namespace {

std::optional<long> ParseNumber(std::string_view text, long min, long max) {
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) return std::nullopt;
  return value;
}

bool IsFourDigits(std::string_view text) {
  if (text.size() != 4) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool IsBlank(std::string_view text) {
  for (unsigned char c : text)
    if (c > ' ') return false;
  return true;
}

}  // namespace

std::string OkLine(int width, int height) {
  return "OK=" + std::to_string(width) + "x" + std::to_string(height) + "\n";
}

std::optional<std::pair<int, int>> ParseSize(std::string_view text) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto width = ParseNumber(text.substr(0, x), 2, 7680);
  const auto height = ParseNumber(text.substr(x + 1), 2, 4320);
  if (!width || !height || *width % 2 || *height % 2) return std::nullopt;
  return std::pair<int, int>(static_cast<int>(*width), static_cast<int>(*height));
}

std::optional<std::string> DecodeEscapes(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x': {
        unsigned value = 0;
        const char* first = text.data() + i + 1;
        if (i + 2 >= text.size()) return std::nullopt;
        auto [ptr, ec] = std::from_chars(first, first + 2, value, 16);
        if (ec != std::errc() || ptr != first + 2) return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string Printable(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else if (c < ' ' || c == 127) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string UsageText() {
  return "Usage: vantrel-device [options]\n"
         "Plays a camera device on loopback: announces itself to 127.0.0.1, takes a login\n"
         "on 127.0.0.1 and streams a moving test pattern as RTP/H.264 (payload 96) to the\n"
         "logged-in client while its connection lasts.\n"
         "  --name NAME          announced name (default \"Vantrel Demo Camera\"; no \"(\")\n"
         "  --pin PIN            the four-digit PIN to accept (default: a random one)\n"
         "  --size WxH           video size, answered as OK=WxH (default 1280x720)\n"
         "  --refuse-text TEXT   line sent for a wrong PIN (default DENIED)\n"
         "  --reply TEXT         send TEXT as it is instead of OK=WxH (escapes \\r \\n \\t\n"
         "                       \\\\ \\xHH; nothing is appended); repeat for several replies\n"
         "  --second-ok          send OK=WxH once more after the replies\n"
         "  --reply-interval MS  pause before each further reply (default 1000)\n"
         "  --silent             accept the login but never answer\n"
         "  --close-abruptly     close the connection right after the login line\n"
         "  --announce-port N    announcement destination port (default 51033)\n"
         "  --control-port N     login port (default 51034; 0 picks a free one)\n"
         "  --video-port N       video destination port (default 51035)\n"
         "  --once               end after the first connection\n"
         "  --lifetime S         end after S seconds\n"
         "  --help               this text\n";
}

ParsedOptions ParseDeviceOptions(const std::vector<std::string_view>& args) {
  ParsedOptions parsed;
  DeviceOptions o;
  bool silent = false;
  bool second_ok = false;
  auto fail = [&parsed](std::string why) {
    parsed.error = std::move(why);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool takes_value =
        arg != "--second-ok" && arg != "--silent" && arg != "--close-abruptly" && arg != "--once" && arg != "--help";
    if (takes_value && i + 1 == args.size()) return fail("missing value for " + std::string(arg));
    const std::string_view value = takes_value ? args[++i] : std::string_view();
    auto port = [&](uint16_t& into, long min) {
      const auto n = ParseNumber(value, min, 65535);
      if (n) into = static_cast<uint16_t>(*n);
      return n.has_value();
    };
    if (arg == "--help") {
      parsed.help = true;
    } else if (arg == "--name") {
      if (IsBlank(value) || value.find('(') != std::string_view::npos)
        return fail("--name must not be blank nor hold \"(\"");
      o.name = value;
    } else if (arg == "--pin") {
      if (!IsFourDigits(value)) return fail("--pin must be four digits");
      o.pin = value;
    } else if (arg == "--size") {
      const auto size = ParseSize(value);
      if (!size) return fail("--size must be WxH, even numbers up to 7680x4320");
      o.width = size->first;
      o.height = size->second;
    } else if (arg == "--refuse-text") {
      if (IsBlank(value) || value.starts_with("OK=") || value.find_first_of("\r\n") != std::string_view::npos)
        return fail("--refuse-text must be one non-blank line not beginning with OK=");
      o.refuse_text = value;
    } else if (arg == "--reply") {
      const auto bytes = DecodeEscapes(value);
      if (!bytes) return fail("--reply holds a malformed escape");
      o.replies.push_back(*bytes);
    } else if (arg == "--second-ok") {
      second_ok = true;
    } else if (arg == "--reply-interval") {
      const auto ms = ParseNumber(value, 0, 600000);
      if (!ms) return fail("--reply-interval must be 0 to 600000 ms");
      o.reply_interval_ms = static_cast<int>(*ms);
    } else if (arg == "--silent") {
      silent = true;
    } else if (arg == "--close-abruptly") {
      o.close_abruptly = true;
    } else if (arg == "--announce-port") {
      if (!port(o.announce_port, 1)) return fail("--announce-port must be 1 to 65535");
    } else if (arg == "--control-port") {
      if (!port(o.control_port, 0)) return fail("--control-port must be 0 to 65535");
    } else if (arg == "--video-port") {
      if (!port(o.video_port, 1)) return fail("--video-port must be 1 to 65535");
    } else if (arg == "--once") {
      o.once = true;
    } else if (arg == "--lifetime") {
      const auto s = ParseNumber(value, 1, 86400);
      if (!s) return fail("--lifetime must be 1 to 86400 s");
      o.lifetime_s = static_cast<int>(*s);
    } else {
      return fail("unknown option " + std::string(arg));
    }
  }
  if (silent && o.close_abruptly) return fail("--silent and --close-abruptly exclude each other");
  if ((silent || o.close_abruptly) && (second_ok || !o.replies.empty()))
    return fail("--silent and --close-abruptly send no replies");
  if (o.replies.empty() && !silent && !o.close_abruptly) o.replies.push_back(OkLine(o.width, o.height));
  if (second_ok) o.replies.push_back(OkLine(o.width, o.height));
  parsed.options = std::move(o);
  return parsed;
}

}  // namespace device
