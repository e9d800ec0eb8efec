// The control connection's wire format: login line, reply line cutting,
// reply meaning, size conversion and host text.
#include "client/control_protocol.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(LoginLine, IsNamePassAndCrLf) {
  EXPECT_EQ(LoginLine(u"KXD-123", u"4711"), "name=KXD-123&pass=4711\r\n");
  EXPECT_EQ(LoginLine(u"", u""), "name=&pass=\r\n");
  // "&" and "=" in the values are not escaped.
  EXPECT_EQ(LoginLine(u"a&b=c", u"1=2"), "name=a&b=c&pass=1=2\r\n");
}

TEST(LoginLine, SendsEachNonAsciiCharacterAsOneQuestionMark) {
  EXPECT_EQ(LoginLine(u"K\u00e4se", u"12\u20ac"), "name=K?se&pass=12?\r\n");
  EXPECT_EQ(LoginLine(u"\U0001F600x", u"\u007f"), "name=?x&pass=\x7f\r\n");
  // A lone surrogate is a character of its own.
  EXPECT_EQ(LoginLine(std::u16string(1, u'\xD800') + u"a", u""), "name=?a&pass=\r\n");
}

struct Cut {
  std::vector<std::string> chunks;
  std::vector<std::string> lines;  // complete lines, in order
  std::string last;                // "" or "TooLong" / "NoLine" after the lines
};

class ReplyLines : public testing::TestWithParam<Cut> {};

TEST_P(ReplyLines, AreCutAtLineFeeds) {
  ReplyLineAssembler assembler;
  std::vector<std::string> lines;
  std::string last = "NoLine";
  for (const std::string& chunk : GetParam().chunks) {
    assembler.Append(chunk.data(), chunk.size());
    std::string line;
    ReplyLineAssembler::Result result;
    while ((result = assembler.Next(line)) == ReplyLineAssembler::Result::Line) lines.push_back(line);
    last = result == ReplyLineAssembler::Result::TooLong ? "TooLong" : "NoLine";
  }
  EXPECT_EQ(lines, GetParam().lines);
  EXPECT_EQ(last, GetParam().last);
}

const std::string kLimit(kMaxReplyLineBytes, 'a');

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyLines,
    testing::Values(Cut{{"OK=1280x720\n"}, {"OK=1280x720"}, "NoLine"},
                    Cut{{"OK=1280x720\r\n"}, {"OK=1280x720"}, "NoLine"},
                    // Only a CR right before the LF goes.
                    Cut{{"a\r\r\n", "\rb\n", "c\rd\n"}, {"a\r", "\rb", "c\rd"}, "NoLine"},
                    // A partial line waits for the rest; a last line without LF is never given.
                    Cut{{"OK=12", "80x7", "20\nOK=", "\n", "tail"}, {"OK=1280x720", "OK="}, "NoLine"},
                    Cut{{"\n\n  \n"}, {"", "", "  "}, "NoLine"},
                    // Bytes above 127 read as U+FFFD.
                    Cut{{"OK=\xe4\xff\n"}, {"OK=\xEF\xBF\xBD\xEF\xBF\xBD"}, "NoLine"},
                    // 16384 bytes before the LF are allowed, one more is not.
                    Cut{{kLimit + "\n"}, {kLimit}, "NoLine"}, Cut{{kLimit + "\r\n"}, {}, "TooLong"},
                    Cut{{kLimit, "a"}, {}, "TooLong"}, Cut{{kLimit}, {}, "NoLine"},
                    Cut{{"ok\n" + kLimit + "b\n"}, {"ok"}, "TooLong"}));

TEST(ReplyLines, ClearDropsAPartialLine) {
  ReplyLineAssembler assembler;
  assembler.Append("OK=12", 5);
  assembler.Clear();
  assembler.Append("34\n", 3);
  std::string line;
  ASSERT_EQ(assembler.Next(line), ReplyLineAssembler::Result::Line);
  EXPECT_EQ(line, "34");
}

TEST(ClassifyReply, BlankAcceptedOrRefusal) {
  const std::pair<std::string, ReplyKind> table[] = {
      {"", ReplyKind::Blank},
      {"   ", ReplyKind::Blank},
      {std::string("\t \x01\x1f \x20\0", 7), ReplyKind::Blank},
      {"OK=", ReplyKind::Accepted},
      {"OK=1280x720", ReplyKind::Accepted},
      {"OK=garbage", ReplyKind::Accepted},
      {"ok=1280x720", ReplyKind::Refusal},
      {"Ok=1280x720", ReplyKind::Refusal},
      {" OK=1280x720", ReplyKind::Refusal},
      {"OK", ReplyKind::Refusal},
      {"OK 1280x720", ReplyKind::Refusal},
      {"ERR=wrong pin", ReplyKind::Refusal},
      {"\x7f", ReplyKind::Refusal},
      {"\xEF\xBF\xBD", ReplyKind::Refusal},
  };
  for (const auto& [line, kind] : table) EXPECT_EQ(ClassifyReply(line), kind) << '"' << line << '"';
}

struct SizeCase {
  std::string line;
  std::optional<VideoSize> size;
};

class AcceptedSize : public testing::TestWithParam<SizeCase> {};

TEST_P(AcceptedSize, FollowsTheConversionRules) {
  EXPECT_EQ(AcceptedVideoSize(GetParam().line), GetParam().size) << '"' << GetParam().line << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, AcceptedSize,
    testing::Values(SizeCase{"OK=1280x720", VideoSize{1280, 720}}, SizeCase{"OK=1280X720", VideoSize{1280, 720}},
                    SizeCase{"OK=", VideoSize{1920, 1080}},
                    // Leading blanks and a sign are allowed, trailing characters are not.
                    SizeCase{"OK= 1280x  720", VideoSize{1280, 720}}, SizeCase{"OK=+1280x-720", VideoSize{1280, -720}},
                    SizeCase{"OK=1280x720 ", std::nullopt}, SizeCase{"OK=1280 x720", std::nullopt},
                    SizeCase{"OK=1280x720x", std::nullopt}, SizeCase{"OK=- 1280x720", std::nullopt},
                    // The first x splits; the height may then be hexadecimal.
                    SizeCase{"OK=$500x$2D0", VideoSize{1280, 720}},
                    SizeCase{"OK=0X500x0x2d0", std::nullopt},  // the width text is "0": it ends before the x
                    SizeCase{"OK=1280x0x2D0", VideoSize{1280, 720}}, SizeCase{"OK=1280XX2D0", VideoSize{1280, 720}},
                    SizeCase{"OK=-$10x-x10", VideoSize{-16, -16}},
                    // Empty texts and no size at all.
                    SizeCase{"OK=x720", std::nullopt}, SizeCase{"OK=1280x", std::nullopt},
                    SizeCase{"OK=x", std::nullopt}, SizeCase{"OK=abc", std::nullopt}, SizeCase{"OK=1280", std::nullopt},
                    SizeCase{"OK=\xEF\xBF\xBDx1", std::nullopt},
                    // 32-bit range.
                    SizeCase{"OK=2147483647x-2147483648", VideoSize{2147483647, -2147483647 - 1}},
                    SizeCase{"OK=2147483648x1", std::nullopt}, SizeCase{"OK=1x-2147483649", std::nullopt},
                    SizeCase{"OK=$7fffffffx-$80000000", VideoSize{2147483647, -2147483647 - 1}},
                    SizeCase{"OK=$80000000x1", std::nullopt},
                    SizeCase{"OK=000000000000001280x0720", VideoSize{1280, 720}}));

TEST(ParseInt32, DecimalAndHexadecimal) {
  const std::pair<std::string, std::optional<int32_t>> table[] = {
      {"0", 0},
      {"  42", 42},
      {"-7", -7},
      {"+7", 7},
      {"$ff", 255},
      {"$FF", 255},
      {"0x10", 16},
      {"x10", 16},
      {"-0x10", -16},
      {"00x10", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"1a", std::nullopt},
      {"12 ", std::nullopt},
      {"\t12", std::nullopt},
      {"--1", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const auto& [text, value] : table) EXPECT_EQ(ParseInt32(text), value) << '"' << text << '"';
}

TEST(ParseDottedIPv4, FourGroupsWithBlanks) {
  const std::pair<std::string, std::optional<uint32_t>> table[] = {
      {"127.0.0.1", 0x7f000001},
      {"192.168.  1. 23", 0xc0a80117},
      {" 10 .  0 .  0 .  1 ", 0x0a000001},
      {"255.255.255.255", 0xffffffff},
      {"010.0.0.1", 0x0a000001},
      {"256.0.0.1", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1..3.4", std::nullopt},
      {"1.2.3.   ", std::nullopt},
      {"1.2.3.-4", std::nullopt},
      {"localhost", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, value] : table) EXPECT_EQ(ParseDottedIPv4(text), value) << '"' << text << '"';
}

TEST(HostAddress, DottedFormOrNameResolution) {
  EXPECT_EQ(HostAddress("127.  0.  0.  1"), 0x7f000001u);
  EXPECT_EQ(HostAddress("localhost"), 0x7f000001u);
  EXPECT_EQ(HostAddress(""), std::nullopt);
  EXPECT_EQ(HostAddress("   .   .   .   "), std::nullopt);
}

}  // namespace
}  // namespace vantrel
