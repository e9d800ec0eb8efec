// The demo device program run as a child process on free loopback ports:
// announcements, login replies for every option, the RTP/H.264 stream and
// its end, and a clean exit.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tests/device/device_process.h"

namespace device_test {
namespace {

constexpr char kPin[] = "4711";
constexpr milliseconds kStartTimeout(10000);

using device::Fd;

class DeviceProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    announce_ = BindLoopbackUdp(announce_port_);
    video_ = BindLoopbackUdp(video_port_);
    ASSERT_TRUE(announce_.Valid() && video_.Valid());
  }

  // Runs the device with `args` and learns its control port.
  void Launch(const std::vector<std::string>& args) {
    device_.emplace(args);
    ASSERT_TRUE(device_->Started());
    const auto listening = device_->WaitForLine("listening on 127.0.0.1:", kStartTimeout);
    ASSERT_TRUE(listening);
    control_port_ = static_cast<uint16_t>(std::stoi(listening->substr(listening->rfind(':') + 1)));
  }

  // Free ports: any control port, announcements to this test's socket, video to `video_port`.
  std::vector<std::string> PortArgs(uint16_t video_port) const {
    return {"--control-port",          "0", "--announce-port", std::to_string(announce_port_), "--video-port",
            std::to_string(video_port)};
  }

  // The device with PIN kPin, size 320x240 and quick replies, plus `extra`.
  void Start(const std::vector<std::string>& extra) {
    std::vector<std::string> args = PortArgs(video_port_);
    args.insert(args.end(), {"--pin", kPin, "--size", "320x240", "--reply-interval", "300"});
    args.insert(args.end(), extra.begin(), extra.end());
    Launch(args);
  }

  // Connects and sends the login line as the client does.
  Fd Login(const std::string& pin) {
    Fd connection = ConnectLoopback(control_port_);
    EXPECT_TRUE(connection.Valid());
    EXPECT_TRUE(device::SendAll(connection.Get(), "name=KXD-123&pass=" + pin + "\r\n"));
    return connection;
  }

  // Throws away video sent so far, then tells whether any arrives within `window`.
  bool VideoArrives(milliseconds window) {
    while (ReceiveDatagram(video_.Get(), milliseconds(0))) {
    }
    return ReceiveDatagram(video_.Get(), window).has_value();
  }

  uint16_t announce_port_ = 0, video_port_ = 0, control_port_ = 0;
  Fd announce_, video_;
  std::optional<DeviceProcess> device_;
};

TEST_F(DeviceProgram, AnnouncesItsNameToLoopbackEverySecond) {
  ASSERT_NO_FATAL_FAILURE(Start({"--name", "Kamera \xC3\xBC"}));
  const auto first = ReceiveDatagram(announce_.Get(), milliseconds(3000));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->payload, "Kamera \xC3\xBC (127.0.0.1)");
  EXPECT_EQ(first->sender.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  const auto second = ReceiveDatagram(announce_.Get(), milliseconds(3000));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->payload, first->payload);
  const auto gap_us =
      (second->arrived.tv_sec - first->arrived.tv_sec) * 1000000 + (second->arrived.tv_usec - first->arrived.tv_usec);
  EXPECT_NEAR(gap_us, 1000000, 300000);
  EXPECT_EQ(device_->Exit(SIGTERM, milliseconds(5000)), 0);
}

TEST_F(DeviceProgram, PrintsARandomPinThatLogsIn) {
  std::vector<std::string> args = PortArgs(video_port_);
  args.push_back("--once");
  ASSERT_NO_FATAL_FAILURE(Launch(args));
  const auto pin_line = device_->WaitForLine("PIN ", milliseconds(0));
  ASSERT_TRUE(pin_line);
  const std::string pin = pin_line->substr(4);
  ASSERT_EQ(pin.size(), 4u);
  EXPECT_EQ(pin.find_first_not_of("0123456789"), std::string::npos);
  Fd connection = Login(pin);
  EXPECT_EQ(ReceiveFor(connection.Get(), milliseconds(1500)).bytes, "OK=1280x720\n");
  connection.Reset();
  EXPECT_EQ(device_->Exit(0, milliseconds(5000)), 0);  // --once: ends with the connection
  EXPECT_TRUE(device_->WaitForLine("stopped", milliseconds(0)));
}

struct ReplyCase {
  const char* label;
  std::vector<std::string> options;
  std::string pin;
  std::string expected;  // every byte the device sends within the window
  bool device_closes;
};

void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.label; }

class DeviceReplies : public DeviceProgram, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(DeviceReplies, AnswerTheLoginLine) {
  const ReplyCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(Start(c.options));
  Fd connection = Login(c.pin);
  const Received received = ReceiveFor(connection.Get(), milliseconds(1500));
  EXPECT_EQ(received.bytes, c.expected);
  EXPECT_EQ(received.closed, c.device_closes);
  EXPECT_EQ(device_->Exit(SIGTERM, milliseconds(5000)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, DeviceReplies,
    ::testing::Values(ReplyCase{"RightPin", {}, kPin, "OK=320x240\n", false},
                      ReplyCase{"WrongPin", {}, "4712", "DENIED\n", true},
                      ReplyCase{"PinWithExtraDigit", {}, "47110", "DENIED\n", true},
                      ReplyCase{
                          "RefuseText", {"--refuse-text", "Wrong PIN, go away"}, "0000", "Wrong PIN, go away\n", true},
                      ReplyCase{"SecondOk", {"--second-ok"}, kPin, "OK=320x240\nOK=320x240\n", false},
                      ReplyCase{"Silent", {"--silent"}, kPin, "", false},
                      ReplyCase{"CloseAbruptly", {"--close-abruptly"}, kPin, "", true},
                      ReplyCase{"RawEmptyOk", {"--reply", "OK=\\n"}, kPin, "OK=\n", false},
                      ReplyCase{"RawCapitalXCrLf", {"--reply", "OK=1280X720\\r\\n"}, kPin, "OK=1280X720\r\n", false},
                      ReplyCase{"RawLowerCase", {"--reply", "ok=1280x720\\n"}, kPin, "ok=1280x720\n", false},
                      ReplyCase{"RawSequence",
                                {"--reply", "\\n", "--reply", "  \\r\\n", "--reply", "OK=640x480 \\n"},
                                kPin,
                                "\n  \r\nOK=640x480 \n",
                                false}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.label); });

TEST_F(DeviceProgram, MalformedLoginLineIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Fd connection = ConnectLoopback(control_port_);
  ASSERT_TRUE(device::SendAll(connection.Get(), "hello\r\n"));
  const Received received = ReceiveFor(connection.Get(), milliseconds(1500));
  EXPECT_EQ(received.bytes, "DENIED\n");
  EXPECT_TRUE(received.closed);
}

TEST_F(DeviceProgram, RefusedLoginSendsNoVideoAndANewConnectionIsServed) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Fd refused = Login("1111");
  EXPECT_EQ(ReceiveFor(refused.Get(), milliseconds(1500)).bytes, "DENIED\n");
  EXPECT_FALSE(VideoArrives(milliseconds(1000)));
  refused.Reset();
  Fd accepted = Login(kPin);
  EXPECT_EQ(ReceiveFor(accepted.Get(), milliseconds(1000)).bytes, "OK=320x240\n");
  EXPECT_TRUE(VideoArrives(milliseconds(5000)));
}

// The RTP header: version 2 and payload type 96 (the marker bit aside).
bool IsRtpPayload96(const std::string& packet) {
  return packet.size() > 12 && (static_cast<unsigned char>(packet[0]) >> 6) == 2 &&
         (static_cast<unsigned char>(packet[1]) & 0x7F) == 96;
}

TEST_F(DeviceProgram, StreamsWhileLoggedInAndStopsWhenTheConnectionCloses) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Fd connection = Login(kPin);
  ASSERT_TRUE(device_->WaitForLine("streaming started: 320x240 to 127.0.0.1:", kStartTimeout));
  for (int i = 0; i < 20; ++i) {
    const auto packet = ReceiveDatagram(video_.Get(), milliseconds(5000));
    ASSERT_TRUE(packet);
    EXPECT_TRUE(IsRtpPayload96(packet->payload));
    EXPECT_EQ(packet->sender.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  }
  connection.Reset();
  EXPECT_TRUE(device_->WaitForLine("streaming stopped", milliseconds(5000)));
  EXPECT_TRUE(device_->WaitForLine("connection ended", milliseconds(1000)));
  EXPECT_FALSE(VideoArrives(milliseconds(1500)));
  EXPECT_EQ(device_->Exit(SIGTERM, milliseconds(5000)), 0);
}

// Decoded frames from the device's stream: udpsrc on a free port ! depay ! decode ! appsink.
class VideoReceiver {
 public:
  VideoReceiver() {
    gst_init(nullptr, nullptr);
    pipeline_ = gst_parse_launch(
        "udpsrc name=source address=127.0.0.1 port=0 caps=application/x-rtp,media=video,"
        "encoding-name=H264,payload=96,clock-rate=90000 ! rtph264depay ! avdec_h264 ! videoconvert"
        " ! video/x-raw,format=I420 ! appsink name=frames sync=false max-buffers=30",
        nullptr);
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "source");
    gint port = 0;
    g_object_get(source, "port", &port, nullptr);
    gst_object_unref(source);
    port_ = static_cast<uint16_t>(port);
  }
  ~VideoReceiver() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  uint16_t Port() const { return port_; }

  // The next decoded frame, or nullptr after the time; the caller unrefs it.
  GstSample* NextFrame(milliseconds timeout) {
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "frames");
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), timeout.count() * GST_MSECOND);
    gst_object_unref(sink);
    return sample;
  }

 private:
  GstElement* pipeline_ = nullptr;
  uint16_t port_ = 0;
};

struct Frame {
  int width = 0, height = 0;
  std::string pixels;
};

Frame TakeFrame(GstSample* sample) {
  Frame frame;
  GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
  gst_structure_get_int(caps, "width", &frame.width);
  gst_structure_get_int(caps, "height", &frame.height);
  GstMapInfo map;
  if (gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
    frame.pixels.assign(reinterpret_cast<const char*>(map.data), map.size);
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
  }
  gst_sample_unref(sample);
  return frame;
}

TEST_F(DeviceProgram, StreamDecodesToMovingFramesOfTheAnnouncedSize) {
  VideoReceiver receiver;
  ASSERT_NE(receiver.Port(), 0);
  std::vector<std::string> args = PortArgs(receiver.Port());
  args.insert(args.end(), {"--pin", kPin, "--size", "640x360"});
  ASSERT_NO_FATAL_FAILURE(Launch(args));
  Fd connection = Login(kPin);
  EXPECT_EQ(ReceiveFor(connection.Get(), milliseconds(1000)).bytes, "OK=640x360\n");

  GstSample* first_sample = receiver.NextFrame(milliseconds(10000));
  ASSERT_NE(first_sample, nullptr);
  const Frame first = TakeFrame(first_sample);
  EXPECT_EQ(first.width, 640);
  EXPECT_EQ(first.height, 360);
  EXPECT_EQ(first.pixels.size(), 640u * 360u * 3u / 2u);
  for (int i = 0; i < 5; ++i) {
    GstSample* skipped = receiver.NextFrame(milliseconds(5000));
    ASSERT_NE(skipped, nullptr);
    gst_sample_unref(skipped);
  }
  GstSample* later_sample = receiver.NextFrame(milliseconds(5000));
  ASSERT_NE(later_sample, nullptr);
  const Frame later = TakeFrame(later_sample);
  EXPECT_EQ(later.width, 640);
  EXPECT_EQ(later.height, 360);
  EXPECT_NE(later.pixels, first.pixels);  // the pattern moves
  EXPECT_EQ(device_->Exit(SIGTERM, milliseconds(5000)), 0);
}

class DeviceStopSignal : public DeviceProgram, public ::testing::WithParamInterface<int> {};

TEST_P(DeviceStopSignal, EndsCleanlyWhileStreaming) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  Fd connection = Login(kPin);
  ASSERT_TRUE(device_->WaitForLine("streaming started", kStartTimeout));
  EXPECT_EQ(device_->Exit(GetParam(), milliseconds(5000)), 0);
  EXPECT_TRUE(device_->WaitForLine("stop requested", milliseconds(0)));
  EXPECT_TRUE(device_->WaitForLine("streaming stopped", milliseconds(0)));
  EXPECT_TRUE(device_->WaitForLine("stopped", milliseconds(0)));
  EXPECT_TRUE(ReceiveFor(connection.Get(), milliseconds(1000)).closed);
}

INSTANTIATE_TEST_SUITE_P(Signals, DeviceStopSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

TEST_F(DeviceProgram, EndsWhenItsLifetimeIsOver) {
  ASSERT_NO_FATAL_FAILURE(Start({"--lifetime", "1"}));
  EXPECT_EQ(device_->Exit(0, milliseconds(5000)), 0);
  EXPECT_TRUE(device_->WaitForLine("lifetime over", milliseconds(0)));
}

TEST_F(DeviceProgram, InvalidCommandLineEndsWithStatus2) {
  DeviceProcess invalid({"--pin", "12"});
  EXPECT_EQ(invalid.Exit(0, milliseconds(5000)), 2);
}

}  // namespace
}  // namespace device_test
