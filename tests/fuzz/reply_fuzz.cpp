// Fuzz target for the control connection's reply lines: the bytes a device
// sends, cut into lines by the reply-line assembler, then each line's kind
// and video size. Whatever arrives must be handled without a fault, and:
// the lines do not depend on how the bytes were split into receives; a line
// holds no LF, no raw byte above 127 and at most the line bound of bytes
// before its expansion; once a line is too long, it stays too long; a size
// that is read back from its decimal form is the same size; a 32-bit number
// is read back from its decimal form as the same number.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "client/control_protocol.h"

namespace {

using vantrel::ReplyLineAssembler;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "reply invariant broken: %s\n", what);
  std::abort();
}

// The assembler's results for `bytes` received in pieces of `piece` bytes
// (0: all at once): each line, then "TOO LONG" when the assembler gave up.
std::vector<std::string> Lines(std::string_view bytes, size_t piece) {
  ReplyLineAssembler assembler;
  std::vector<std::string> lines;
  size_t at = 0;
  do {
    const size_t size = piece == 0 ? bytes.size() : std::min(piece, bytes.size() - at);
    assembler.Append(bytes.data() + at, size);
    at += size;
    for (std::string line;;) {
      const ReplyLineAssembler::Result result = assembler.Next(line);
      if (result == ReplyLineAssembler::Result::NoLine) break;
      if (result == ReplyLineAssembler::Result::TooLong) {
        // The reader stops here; asking again gives the same answer.
        Require(assembler.Next(line) == ReplyLineAssembler::Result::TooLong, "too long stays too long");
        lines.push_back("TOO LONG");
        return lines;
      }
      lines.push_back(line);
    }
  } while (at < bytes.size());
  return lines;
}

void CheckLine(const std::string& line) {
  Require(line.find('\n') == std::string::npos, "a line holds no LF");
  size_t raw = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (static_cast<unsigned char>(line[i]) > 127) {
      Require(line.compare(i, 3, "\xEF\xBF\xBD") == 0, "a byte above 127 reads as U+FFFD");
      i += 2;
    }
    ++raw;
  }
  Require(raw <= vantrel::kMaxReplyLineBytes, "a line is at most the line bound");
  if (vantrel::ClassifyReply(line) != vantrel::ReplyKind::Accepted) return;
  const auto size = vantrel::AcceptedVideoSize(line);
  if (!size) return;
  const auto again =
      vantrel::AcceptedVideoSize("OK=" + std::to_string(size->width) + "x" + std::to_string(size->height));
  Require(again == size, "a size reads back from its decimal form");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> whole = Lines(bytes, 0);
  for (const std::string& line : whole) {
    if (line != "TOO LONG") CheckLine(line);
  }
  // The first byte chooses a receive size; the lines must not change with it.
  const size_t piece = size == 0 ? 1 : 1 + data[0] % 64;
  Require(Lines(bytes, piece) == whole, "the lines do not depend on the receive sizes");
  if (const auto number = vantrel::ParseInt32(bytes.substr(0, 64))) {
    Require(vantrel::ParseInt32(std::to_string(*number)) == number, "a number reads back from its decimal form");
  }
  return 0;
}
