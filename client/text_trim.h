// Trimming shared by the client's text rules: blanks and control characters
// (code 32 and below) removed from both ends. Pure; any thread.
#pragma once

#include <string_view>

namespace vantrel {

inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

inline std::string_view TrimBlanksAndControls(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace vantrel
