// Fuzz target for the announcement parser: any payload must parse without
// a fault, and whatever is accepted must be a well-formed announcement
// (non-empty name without "(", trimmed UTF-8 text that starts with the name,
// parsing again gives the same), so the window can list it safely.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "client/announcement.h"
#include "client/text_trim.h"

namespace {

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "announcement invariant broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  const auto parsed = vantrel::ParseAnnouncement(payload);
  if (!parsed) return 0;
  const std::string& text = parsed->text;
  const std::string& name = parsed->name;
  Require(vantrel::IsValidUtf8(payload), "accepted payload is UTF-8");
  Require(!name.empty(), "name is not empty");
  Require(name.find('(') == std::string::npos, "name holds no (");
  Require(vantrel::TrimBlanksAndControls(name) == name, "name is trimmed");
  Require(vantrel::TrimBlanksAndControls(text) == text, "text is trimmed");
  Require(std::string_view(text).starts_with(name), "text starts with the name");
  Require(payload.find(text) != std::string_view::npos, "text comes from the payload");
  const auto again = vantrel::ParseAnnouncement(text);
  Require(again && again->text == text && again->name == name, "parsing the text again gives the same");
  if (const auto address = vantrel::AnnouncedAddress(text)) {
    Require(vantrel::TrimBlanksAndControls(*address) == *address, "address is trimmed");
    Require(address->find(')') == std::string::npos, "address holds no )");
    Require(text.find(*address) != std::string::npos, "address comes from the text");
  }
  return 0;
}
