// Guards of the output pipeline's network chain against what any host can
// send to its UDP port: the socket's receive buffer, a filter that passes only
// RTP/H.264 of payload type 96 from one latched source, and a bound on the
// decoded picture size. The pure decisions are free functions and a small
// class that tests call directly. InstallNetworkGuards and
// ReportReceiveBuffer run on the caller's thread while the chain is built.
// The RTP filter runs on the UDP source's streaming thread, the size bound on
// the jitter buffer's; each keeps its state in its probe's own data and
// touches no engine slot.
#pragma once

#include <gst/gst.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Kernel receive buffer asked for: a burst of key frames of the largest
// pictures we accept, without loss.
inline constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
// A latched source that has sent nothing for this long gives way to the next.
inline constexpr int64_t kSourceSilenceUs = int64_t{2} * G_USEC_PER_SEC;
// RTP clock of H.264 video.
inline constexpr int kRtpVideoClockRate = 90000;
// How long the jitter buffer waits for a packet that is missing or overtaken;
// packets in order pass at once.
inline constexpr guint kJitterBufferMs = 30;
// Largest decoded picture passed on: each side, and the area in 16x16
// macroblocks (H.264 level 6.2).
inline constexpr int kMaxPictureSide = 8192;
inline constexpr int64_t kMaxPictureMacroblocks = 139264;

// The SSRC of a datagram that is a well-formed RTP packet (version 2, its
// header, extension and padding inside it) of payload type 96 carrying an
// H.264 NAL unit, STAP-A or FU-A; nothing for anything else.
std::optional<uint32_t> H264RtpSsrc(const uint8_t* data, size_t size);

// Where an RTP stream comes from.
struct RtpSource {
  std::array<uint8_t, 16> address{};  // IPv4 or IPv6 bytes, zero-padded
  uint16_t port = 0;
  uint32_t ssrc = 0;
  bool operator==(const RtpSource&) const = default;
};

// Admits the first source and then only it, until it has been silent for
// kSourceSilenceUs; then the next source to send takes its place.
class RtpSourceLatch {
 public:
  bool Admit(const RtpSource& from, int64_t now_us);

 private:
  bool latched_ = false;
  RtpSource current_;
  int64_t last_seen_us_ = 0;
};

bool PictureWithinBounds(int width, int height);

// What the socket really holds, from the value SO_RCVBUF reads back (Linux
// reports twice the usable size it granted).
int GrantedReceiveBuffer(int reported);

// Sets the receive buffer, the jitter buffer's wait and the decoder's error
// tolerance, and installs the RTP filter on the source's output and the size
// bound on the decoder's.
void InstallNetworkGuards(GstElement* udp_source, GstElement* jitter_buffer, GstElement* decoder);

// After the source has opened its socket: prints one line on standard error
// when the system granted less than kReceiveBufferBytes. Nothing when the
// source holds no socket (it could not bind).
void ReportReceiveBuffer(GstElement* udp_source);
