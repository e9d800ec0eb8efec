// Announcement parsing (see announcement.h).
#include "client/announcement.h"

#include "client/text_trim.h"

namespace vantrel {

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    char32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;  // a continuation byte, or a lead byte of no valid form
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::optional<Announcement> ParseAnnouncement(std::string_view payload) {
  if (!IsValidUtf8(payload)) return std::nullopt;
  const std::string_view text = TrimBlanksAndControls(payload);
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const std::string_view name = TrimBlanksAndControls(text.substr(0, open));
  if (name.empty()) return std::nullopt;
  return Announcement{std::string(text), std::string(name)};
}

std::optional<std::string> AnnouncedAddress(std::string_view text) {
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  const std::string_view inside = text.substr(open + 1);
  const std::size_t close = inside.find(')');
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(TrimBlanksAndControls(inside.substr(0, close)));
}

}  // namespace vantrel
