// The network chain's input: which datagrams count as RTP/H.264 of payload
// type 96, the source latch, the picture-size bound, the socket's receive
// buffer, and frames handed to the frame queue without waiting on the clock.
#include "engine/network_input.h"

#include <gio/gio.h>
#include <gio/gnetworking.h>
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "engine/engine_slots.h"
#include "engine/frame_queue_reader.h"
#include "tests/output/output_fixture.h"

namespace {

using namespace outputtest;

// An RTP packet: first byte (version and flags), payload type, SSRC
// 0x11223344, then `rest` (CSRCs, extension, payload, padding) as given.
std::vector<uint8_t> Rtp(uint8_t first, uint8_t payload_type, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> packet = {first, payload_type, 0, 1, 0, 0, 0, 9, 0x11, 0x22, 0x33, 0x44};
  for (uint8_t byte : rest) packet.push_back(byte);
  return packet;
}

struct PacketCase {
  const char* name;
  std::vector<uint8_t> packet;
  bool admitted;
};

TEST(RtpFilter, AdmitsOnlyWellFormedH264OfPayloadType96) {
  const std::vector<PacketCase> cases = {
      {"single NAL (IDR)", Rtp(0x80, 96, {0x65, 0x88}), true},
      {"marker bit set", Rtp(0x80, 0x80 | 96, {0x41, 0x9a}), true},
      {"STAP-A", Rtp(0x80, 96, {0x18, 0, 2, 0x67, 0x42}), true},
      {"FU-A", Rtp(0x80, 96, {0x7c, 0x85, 0x00}), true},
      {"one CSRC", Rtp(0x81, 96, {1, 2, 3, 4, 0x41}), true},
      {"extension of one word", Rtp(0x90, 96, {0xbe, 0xde, 0, 1, 9, 9, 9, 9, 0x41}), true},
      {"padding of two", Rtp(0xa0, 96, {0x41, 0, 2}), true},
      {"header only", Rtp(0x80, 96, {}), false},
      {"shorter than a header", {0x80, 96, 0, 1, 0, 0}, false},
      {"version 1", Rtp(0x40, 96, {0x41}), false},
      {"version 0", Rtp(0x00, 96, {0x41}), false},
      {"payload type 97", Rtp(0x80, 97, {0x41}), false},
      {"payload type 0", Rtp(0x80, 0, {0x41}), false},
      {"CSRCs past the end", Rtp(0x8f, 96, {0x41}), false},
      {"extension past the end", Rtp(0x90, 96, {0xbe, 0xde, 0, 9, 0x41}), false},
      {"padding eats the payload", Rtp(0xa0, 96, {0x41, 2}), false},
      {"padding of zero", Rtp(0xa0, 96, {0x41, 0}), false},
      {"forbidden bit", Rtp(0x80, 96, {0xe5, 0x88}), false},
      {"NAL type 0", Rtp(0x80, 96, {0x60}), false},
      {"STAP-B", Rtp(0x80, 96, {0x19, 0}), false},
      {"NAL type 31", Rtp(0x80, 96, {0x7f}), false},
  };
  for (const PacketCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto ssrc = H264RtpSsrc(c.packet.data(), c.packet.size());
    EXPECT_EQ(ssrc.has_value(), c.admitted);
    if (ssrc) {
      EXPECT_EQ(*ssrc, 0x11223344u);
    }
  }
  EXPECT_FALSE(H264RtpSsrc(nullptr, 0));
}

TEST(RtpFilter, LatchKeepsTheFirstSourceUntilItFallsSilent) {
  RtpSource device;
  device.address = {127, 0, 0, 1};
  device.port = 40000;
  device.ssrc = 7;
  RtpSource other_port = device, other_ssrc = device, other_host = device;
  other_port.port = 40001;
  other_ssrc.ssrc = 8;
  other_host.address = {127, 0, 0, 2};

  RtpSourceLatch latch;
  const int64_t s = G_USEC_PER_SEC;
  EXPECT_TRUE(latch.Admit(device, 0));
  EXPECT_FALSE(latch.Admit(other_port, 1));
  EXPECT_FALSE(latch.Admit(other_ssrc, 2));
  EXPECT_FALSE(latch.Admit(other_host, 3));
  EXPECT_TRUE(latch.Admit(device, s));
  // Others sending all along do not keep the device's place open for them.
  EXPECT_FALSE(latch.Admit(other_host, 2 * s + s / 2));
  EXPECT_FALSE(latch.Admit(other_host, s + kSourceSilenceUs - 1));
  EXPECT_TRUE(latch.Admit(other_host, s + kSourceSilenceUs));
  EXPECT_FALSE(latch.Admit(device, s + kSourceSilenceUs + 1)) << "the device now waits its turn";
  EXPECT_TRUE(latch.Admit(device, s + 2 * kSourceSilenceUs));
}

TEST(PictureBound, EachSideAndTheAreaOfLevel62) {
  struct Case {
    int width, height;
    bool within;
  } const cases[] = {
      {1920, 1080, true}, {8192, 4320, true}, {4320, 8192, true},    {8192, 16, true},    {1, 1, true},
      {8193, 16, false},  {16, 8193, false},  {8192, 4352, true},    {8192, 4368, false}, {8192, 8192, false},
      {0, 480, false},    {640, -480, false}, {INT32_MAX, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_EQ(PictureWithinBounds(c.width, c.height), c.within);
  }
}

TEST(ReceiveBuffer, TheSocketHoldsWhatWasAskedOrTheEngineSaysWhyNot) {
  ASSERT_EQ(strova_init(1), 1);
  testing::internal::CaptureStderr();
  ASSERT_EQ(strova_startoutput(0, nullptr, FreeUdpPort(), "video/x-raw", 320, 240, 30, 1), 1);
  const std::string said = testing::internal::GetCapturedStderr();

  gint asked = 0;
  GSocket* socket = nullptr;
  g_object_get(g_slots.source, "buffer-size", &asked, "used-socket", &socket, nullptr);
  EXPECT_EQ(asked, kReceiveBufferBytes);
  ASSERT_NE(socket, nullptr) << "the source has opened its socket when the start returns";
  gint reported = 0;
  ASSERT_TRUE(g_socket_get_option(socket, SOL_SOCKET, SO_RCVBUF, &reported, nullptr));
  g_object_unref(socket);
  const int granted = GrantedReceiveBuffer(reported);
  std::printf("receive buffer granted: %d bytes\n", granted);
  if (granted >= kReceiveBufferBytes) {
    EXPECT_EQ(said.find("UDP receive buffer"), std::string::npos) << said;
  } else {
    EXPECT_NE(said.find("UDP receive buffer is " + std::to_string(granted) + " bytes of " +
                        std::to_string(kReceiveBufferBytes) + " asked"),
              std::string::npos)
        << said;
  }
  strova_endoutput();
  strova_release();
}

// Counts the decoder's pictures and, at each one, how many frames the queue
// had completed by then.
struct DecodeLog {
  const FrameQueueReader* reader;
  std::atomic<int> decoded{0};
  std::atomic<int> late{0};  // pictures whose predecessor was not yet in the queue
};

GstPadProbeReturn OnDecoded(GstPad*, GstPadProbeInfo*, gpointer data) {
  auto& log = *static_cast<DecodeLog*>(data);
  const int before = log.decoded++;
  if (int64_t(log.reader->Header().read_index) < before) ++log.late;
  return GST_PAD_PROBE_OK;
}

TEST(AppSink, HandsEveryFrameOverWithoutWaitingOnTheClock) {
  ASSERT_EQ(strova_init(1), 1);
  const int port = FreeUdpPort();
  ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 1);
  gboolean sync = TRUE;
  g_object_get(g_slots.sink, "sync", &sync, nullptr);
  EXPECT_FALSE(sync);

  // A pipeline latency far above the frame interval: a sink that waited for
  // each frame's time would still hold it when the next one is decoded.
  gst_pipeline_set_latency(GST_PIPELINE(g_slots.pipeline), 2 * GST_SECOND);
  FrameQueueReader reader;
  ASSERT_TRUE(reader.Open());
  DecodeLog log{&reader};
  GstPad* decoded = gst_element_get_static_pad(g_slots.decoder, "src");
  gst_pad_add_probe(decoded, GST_PAD_PROBE_TYPE_BUFFER, OnDecoded, &log, nullptr);
  gst_object_unref(decoded);

  auto sender = std::make_unique<RtpSender>(port, 320, 240, 5);  // one frame every 200 ms
  ASSERT_TRUE(sender->ok());
  ASSERT_TRUE(WaitFor([&] { return log.decoded >= 8; }, std::chrono::seconds(10)));
  EXPECT_EQ(log.late, 0) << "of " << log.decoded << " pictures";
  sender.reset();
  strova_endoutput();
  strova_release();
}

}  // namespace
