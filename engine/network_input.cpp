// The network chain's input guards: receive buffer, RTP filter and source
// latch (a pad probe on the UDP source), the jitter buffer's wait,
// decoded-size bound (a pad probe on the decoder). Threads: see
// network_input.h.
#include "engine/network_input.h"

#include <gio/gio.h>
#include <gio/gnetworking.h>
#include <gst/net/gstnetaddressmeta.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kRtpVersion = 2;
constexpr uint8_t kH264PayloadType = 96;
constexpr size_t kRtpFixedHeader = 12;
constexpr uint8_t kStapA = 24;
constexpr uint8_t kFuA = 28;

uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

RtpSource SourceOf(GstBuffer* buffer, uint32_t ssrc) {
  RtpSource source;
  source.ssrc = ssrc;
  const GstNetAddressMeta* meta = gst_buffer_get_net_address_meta(buffer);
  if (!meta || !G_IS_INET_SOCKET_ADDRESS(meta->addr)) return source;
  auto* inet = G_INET_SOCKET_ADDRESS(meta->addr);
  GInetAddress* address = g_inet_socket_address_get_address(inet);
  const size_t length = std::min(g_inet_address_get_native_size(address), source.address.size());
  std::memcpy(source.address.data(), g_inet_address_to_bytes(address), length);
  source.port = g_inet_socket_address_get_port(inet);
  return source;
}

bool AdmitBuffer(RtpSourceLatch& latch, GstBuffer* buffer, int64_t now_us) {
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
  const std::optional<uint32_t> ssrc = H264RtpSsrc(map.data, map.size);
  gst_buffer_unmap(buffer, &map);
  return ssrc && latch.Admit(SourceOf(buffer, *ssrc), now_us);
}

GstPadProbeReturn FilterRtp(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto& latch = *static_cast<RtpSourceLatch*>(data);
  const int64_t now_us = g_get_monotonic_time();
  if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
    return AdmitBuffer(latch, GST_PAD_PROBE_INFO_BUFFER(info), now_us) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;

  GstBufferList* list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
  GST_PAD_PROBE_INFO_DATA(info) = list;
  struct Filter {
    RtpSourceLatch& latch;
    int64_t now_us;
  } filter{latch, now_us};
  gst_buffer_list_foreach(
      list,
      [](GstBuffer** buffer, guint, gpointer user) -> gboolean {
        auto& f = *static_cast<Filter*>(user);
        if (!AdmitBuffer(f.latch, *buffer, f.now_us)) gst_clear_buffer(buffer);  // removes it from the list
        return TRUE;
      },
      &filter);
  return gst_buffer_list_length(list) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

// While the decoder announces a picture beyond the bound, neither its caps
// nor its pictures go on; the stream downstream keeps its last caps and
// waits for a picture within the bound.
GstPadProbeReturn BoundPictureSize(GstPad*, GstPadProbeInfo* info, gpointer data) {
  bool& oversized = *static_cast<bool*>(data);
  if (!(info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM)) return oversized ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  const GstStructure* s = gst_caps_get_size(caps) ? gst_caps_get_structure(caps, 0) : nullptr;
  int width = 0, height = 0;
  oversized = !s || !gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height) ||
              !PictureWithinBounds(width, height);
  if (oversized) g_printerr("Picture of %dx%d refused\n", width, height);
  return oversized ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

template <typename T>
void Delete(gpointer data) {
  delete static_cast<T*>(data);
}

}  // namespace

std::optional<uint32_t> H264RtpSsrc(const uint8_t* data, size_t size) {
  if (!data || size <= kRtpFixedHeader) return std::nullopt;
  if (data[0] >> 6 != kRtpVersion || (data[1] & 0x7f) != kH264PayloadType) return std::nullopt;
  size_t header = kRtpFixedHeader + size_t{4} * (data[0] & 0x0f);
  if (data[0] & 0x10) {  // header extension: 4 bytes, then its length in words
    if (size < header + 4) return std::nullopt;
    header += 4 + 4u * Be16(data + header + 2);
  }
  size_t padding = 0;
  if (data[0] & 0x20) {
    padding = data[size - 1];
    if (padding == 0) return std::nullopt;
  }
  if (header + padding >= size) return std::nullopt;  // no payload byte
  const uint8_t nal = data[header];
  const uint8_t type = nal & 0x1f;
  if ((nal & 0x80) || type == 0 || (type > kStapA && type != kFuA)) return std::nullopt;
  return Be32(data + 8);
}

bool RtpSourceLatch::Admit(const RtpSource& from, int64_t now_us) {
  if (latched_ && !(from == current_) && now_us - last_seen_us_ < kSourceSilenceUs) return false;
  latched_ = true;
  current_ = from;
  last_seen_us_ = now_us;
  return true;
}

bool PictureWithinBounds(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
  const int64_t macroblocks = int64_t((width + 15) / 16) * int64_t((height + 15) / 16);
  return macroblocks <= kMaxPictureMacroblocks;
}

int GrantedReceiveBuffer(int reported) {
#if defined(__linux__)
  return reported / 2;
#else
  return reported;
#endif
}

void InstallNetworkGuards(GstElement* udp_source, GstElement* jitter_buffer, GstElement* decoder) {
  g_object_set(udp_source, "buffer-size", kReceiveBufferBytes, "retrieve-sender-address", TRUE, nullptr);
  g_object_set(jitter_buffer, "latency", kJitterBufferMs, nullptr);
  // Damaged input costs pictures, never the stream.
  g_object_set(decoder, "max-errors", -1, nullptr);

  GstPad* out = gst_element_get_static_pad(udp_source, "src");
  gst_pad_add_probe(out, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), FilterRtp,
                    new RtpSourceLatch, Delete<RtpSourceLatch>);
  gst_object_unref(out);
  GstPad* decoded = gst_element_get_static_pad(decoder, "src");
  gst_pad_add_probe(
      decoded,
      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
      BoundPictureSize, new bool(false), Delete<bool>);
  gst_object_unref(decoded);
}

void ReportReceiveBuffer(GstElement* udp_source) {
  GSocket* socket = nullptr;
  g_object_get(udp_source, "used-socket", &socket, nullptr);
  if (!socket) return;
  gint reported = 0;
  if (g_socket_get_option(socket, SOL_SOCKET, SO_RCVBUF, &reported, nullptr)) {
    const int granted = GrantedReceiveBuffer(reported);
    if (granted < kReceiveBufferBytes)
      g_printerr("UDP receive buffer is %d bytes of %d asked: the system allows no more\n", granted,
                 kReceiveBufferBytes);
  }
  g_object_unref(socket);
}
