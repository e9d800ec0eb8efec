// The demo device's pure logic: its command line, the login line, line
// framing, escapes and the loopback rule for the video destination.
#include <arpa/inet.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tools/vantrel-device/device_options.h"
#include "tools/vantrel-device/video_stream.h"
#include "tools/vantrel-device/wire.h"

namespace device {
namespace {

ParsedOptions Parse(const std::vector<std::string_view>& args) { return ParseDeviceOptions(args); }

TEST(DeviceOptions, DefaultsAnswerOkWithTheDefaultSize) {
  const ParsedOptions parsed = Parse({});
  ASSERT_TRUE(parsed.options);
  const DeviceOptions& o = *parsed.options;
  EXPECT_EQ(o.pin, "");
  EXPECT_EQ(o.width, 1280);
  EXPECT_EQ(o.height, 720);
  EXPECT_EQ(o.replies, std::vector<std::string>{"OK=1280x720\n"});
  EXPECT_EQ(o.refuse_text, "DENIED");
  EXPECT_EQ(o.announce_port, 51033);
  EXPECT_EQ(o.control_port, 51034);
  EXPECT_EQ(o.video_port, 51035);
  EXPECT_FALSE(o.once || o.close_abruptly);
  EXPECT_EQ(o.lifetime_s, 0);
}

TEST(DeviceOptions, RepliesFollowTheCommandLine) {
  struct Case {
    std::vector<std::string_view> args;
    std::vector<std::string> replies;
  };
  const Case cases[] = {
      {{"--size", "640x480"}, {"OK=640x480\n"}},
      {{"--second-ok", "--size", "320x240"}, {"OK=320x240\n", "OK=320x240\n"}},
      {{"--silent"}, {}},
      {{"--close-abruptly"}, {}},
      {{"--reply", "OK=1280X720\\r\\n"}, {"OK=1280X720\r\n"}},
      {{"--reply", "OK="}, {"OK="}},
      {{"--reply", "\\n", "--reply", "ok=1\\x7fx2\\n", "--second-ok"}, {"\n", "ok=1\x7fx2\n", "OK=1280x720\n"}},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = Parse(c.args);
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->replies, c.replies) << c.args.front();
  }
}

TEST(DeviceOptions, ValuesAreTaken) {
  const ParsedOptions parsed =
      Parse({"--name", "Lobby Cam", "--pin", "0042", "--refuse-text", "WRONG PIN", "--announce-port", "1",
             "--control-port", "0", "--video-port", "65535", "--once", "--lifetime", "5", "--reply-interval", "0"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const DeviceOptions& o = *parsed.options;
  EXPECT_EQ(o.name, "Lobby Cam");
  EXPECT_EQ(o.pin, "0042");
  EXPECT_EQ(o.refuse_text, "WRONG PIN");
  EXPECT_EQ(o.announce_port, 1);
  EXPECT_EQ(o.control_port, 0);
  EXPECT_EQ(o.video_port, 65535);
  EXPECT_TRUE(o.once);
  EXPECT_EQ(o.lifetime_s, 5);
  EXPECT_EQ(o.reply_interval_ms, 0);
}

TEST(DeviceOptions, InvalidCommandLinesAreRejected) {
  const std::vector<std::vector<std::string_view>> cases = {
      {"--pin"},  // value missing
      {"--pin", "123"},
      {"--pin", "12345"},
      {"--pin", "12a4"},
      {"--size", "1280"},
      {"--size", "1281x720"},
      {"--size", "0x0"},
      {"--size", "1280x720x"},
      {"--size", "-2x4"},
      {"--size", "7682x4320"},
      {"--name", "Cam (1)"},
      {"--name", "  "},
      {"--refuse-text", "OK=1280x720"},
      {"--refuse-text", ""},
      {"--refuse-text", "A\nB"},
      {"--reply", "\\q"},
      {"--reply", "\\x4"},
      {"--reply", "x\\"},
      {"--silent", "--close-abruptly"},
      {"--silent", "--second-ok"},
      {"--close-abruptly", "--reply", "OK="},
      {"--announce-port", "0"},
      {"--video-port", "65536"},
      {"--control-port", "port"},
      {"--lifetime", "0"},
      {"--reply-interval", "-1"},
      {"--bogus"},
  };
  for (const auto& args : cases) {
    const ParsedOptions parsed = Parse(args);
    EXPECT_FALSE(parsed.options) << args.front() << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(DeviceWire, LoginLineGivesNameAndPin) {
  struct Case {
    std::string_view line;
    std::optional<std::pair<std::string, std::string>> login;
  };
  const Case cases[] = {
      {"name=KXD-123&pass=4711", {{"KXD-123", "4711"}}},
      {"name=&pass=4711", {{"", "4711"}}},
      {"name=A&pass=B=C&pass=0001", {{"A&pass=B=C", "0001"}}},
      {"name=KXD-123&pass=", {{"KXD-123", ""}}},
      {"name=KXD-123", std::nullopt},
      {"NAME=KXD-123&pass=4711", std::nullopt},
      {" name=KXD-123&pass=4711", std::nullopt},
      {"name&pass=4711", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto login = ParseLoginLine(c.line);
    ASSERT_EQ(login.has_value(), c.login.has_value()) << c.line;
    if (login) {
      EXPECT_EQ(login->name, c.login->first) << c.line;
      EXPECT_EQ(login->pin, c.login->second) << c.line;
    }
  }
}

TEST(DeviceWire, LinesEndAtLfWithOneCrRemoved) {
  std::string buffer = "first\r\nsecond\n\r\r\nrest";
  EXPECT_EQ(TakeLine(buffer), "first");
  EXPECT_EQ(TakeLine(buffer), "second");
  EXPECT_EQ(TakeLine(buffer), "\r");
  EXPECT_EQ(TakeLine(buffer), std::nullopt);
  EXPECT_EQ(buffer, "rest");
}

TEST(DeviceWire, AnnouncementAndPrintableText) {
  EXPECT_EQ(AnnouncementText("Camera"), "Camera (127.0.0.1)");
  EXPECT_EQ(AnnouncementText("Kamera \xC3\xBC"), "Kamera \xC3\xBC (127.0.0.1)");
  EXPECT_EQ(Printable("OK=1\r\n\x01\\"), "OK=1\\r\\n\\x01\\\\");
  const std::string bytes = "a\r\n\t\\\x1f\x7f";
  EXPECT_EQ(DecodeEscapes(Printable(bytes)), bytes);
}

TEST(DeviceWire, OnlyLoopbackCounts) {
  EXPECT_TRUE(IsLoopbackIPv4(0x7F000001));
  EXPECT_TRUE(IsLoopbackIPv4(0x7FFFFFFE));
  EXPECT_FALSE(IsLoopbackIPv4(0xC0A80132));  // 192.168.1.50
  EXPECT_FALSE(IsLoopbackIPv4(0x00000000));
  EXPECT_FALSE(IsLoopbackIPv4(0x80000001));
}

TEST(DeviceVideo, RefusesEveryDestinationOutsideLoopback) {
  gst_init(nullptr, nullptr);
  VideoStream stream;
  for (const char* text : {"192.168.1.50", "10.0.0.1", "8.8.8.8", "0.0.0.0", "255.255.255.255"}) {
    in_addr address{};
    ASSERT_EQ(inet_pton(AF_INET, text, &address), 1);
    std::string error;
    EXPECT_FALSE(stream.Start(address, 5004, 320, 240, error)) << text;
    EXPECT_FALSE(stream.Running());
    EXPECT_NE(error.find("not a loopback"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace device
