// Benchmark of the engine's main path: noisy H.264 clips (a moving ball with
// snow blended in, so the encoder spends its bit rate; a frame number drawn
// into the pixels) sent as RTP in real time over loopback to three receivers
// in turn:
//   engine       strova_startoutput's network chain, the frame queue read by a
//                polling reader that checks every frame it sees;
//   chain        the same elements (jitter buffer included) as a plain gst
//                chain into fakesink;
//   decode-only  udpsrc ! depay ! avdec_h264 ! fakesink.
// Per clip and receiver: frames sent, published and intact (the frame number
// read back and the picture equal to a local decode of the clip), CPU per
// frame (engine against chain as a ratio, same run), and p50/p99 latency from
// the sender's RTP send of a frame's last packet to its publication.
// Targets: no damaged or missing frame on loopback; engine p50 at most
// decode-only p50 + 1.5 ms; CPU ratio at most 1.05.
//
// The sender runs in a child process (this program with --send), so that only
// the receiving side counts in this process's CPU time; both sides stamp with
// CLOCK_MONOTONIC, which the two processes share.
//
// With "faults", the 720p30 no-B clip goes through a relay that reorders,
// delays or drops datagrams, and the engine is shown beside a plain decoder
// with and without a small rtpjitterbuffer in front of the depayloader.
//
// Usage: output_bench [clip folder [rounds [faults]]]   (clips are made there once)
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/frame_queue_reader.h"
#include "engine/strova.h"
#include "tests/support/free_port.h"

namespace {

uint64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint64_t CpuNs(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

struct Clip {
  const char* name;
  int width, height, kbps;
  bool b_frames;  // high profile with B-frames; otherwise a phone's low-delay stream without them
};

constexpr int kFps = 30;
constexpr int kClipFrames = 450;
constexpr int kReceiveBuffer = 8 * 1024 * 1024;

// ---- the frame number: 16 bits and their complement as 32 blocks of 32x32
// luma along the top edge.

constexpr int kBlock = 32, kBits = 16;

void DrawNumber(uint8_t* y, int stride, uint32_t n) {
  const uint32_t word = (n & 0xffff) | (~n & 0xffff) << kBits;
  for (int bit = 0; bit < 2 * kBits; ++bit) {
    const uint8_t value = (word >> bit & 1) ? 235 : 16;
    for (int row = 0; row < kBlock; ++row) std::memset(y + size_t(row) * stride + size_t(bit) * kBlock, value, kBlock);
  }
}

std::optional<uint32_t> ReadNumber(const uint8_t* y, int stride) {
  uint32_t word = 0;
  for (int bit = 0; bit < 2 * kBits; ++bit) {
    int sum = 0;
    for (int row = 12; row < 20; ++row)
      for (int col = 12; col < 20; ++col) sum += y[size_t(row) * stride + size_t(bit) * kBlock + col];
    if (sum / 64 > 128) word |= 1u << bit;
  }
  if ((word & 0xffff) != (~word >> kBits & 0xffff)) return std::nullopt;
  return word & 0xffff;
}

// The picture's fingerprint: mean luma of 8x8 regions (every 4th pixel).
using Grid = std::array<float, 64>;

Grid GridOf(const uint8_t* y, int stride, int width, int height) {
  Grid grid{};
  for (int gy = 0; gy < 8; ++gy)
    for (int gx = 0; gx < 8; ++gx) {
      uint64_t sum = 0, count = 0;
      for (int row = gy * height / 8; row < (gy + 1) * height / 8; row += 4)
        for (int col = gx * width / 8; col < (gx + 1) * width / 8; col += 4, ++count)
          sum += y[size_t(row) * stride + col];
      grid[gy * 8 + gx] = count ? float(sum) / float(count) : 0;
    }
  return grid;
}

// Frame number to fingerprint, from a local decode of the clip.
using Reference = std::map<uint32_t, Grid>;

bool Intact(const Reference& reference, uint32_t n, const Grid& grid) {
  const auto it = reference.find(n);
  if (it == reference.end()) return false;
  for (size_t k = 0; k < grid.size(); ++k)
    if (std::fabs(grid[k] - it->second[k]) > 2.0f) return false;
  return true;
}

// ---- making clips

GstMessage* RunToEnd(GstElement* pipeline) {
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message =
      gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  return message;
}

GstPadProbeReturn StampNumber(GstPad* pad, GstPadProbeInfo* info, gpointer user_data) {
  auto& count = *static_cast<uint32_t*>(user_data);
  GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
  GST_PAD_PROBE_INFO_DATA(info) = buffer;
  GstCaps* caps = gst_pad_get_current_caps(pad);
  GstVideoInfo video;
  GstVideoFrame frame;
  if (caps && gst_video_info_from_caps(&video, caps) && gst_video_frame_map(&frame, &video, buffer, GST_MAP_WRITE)) {
    DrawNumber(static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
               count);
    for (int plane = 1; plane < 3; ++plane) {  // grey chroma under the blocks
      auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
      for (int row = 0; row < kBlock / 2; ++row)
        std::memset(data + size_t(row) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane), 128, size_t{kBits} * kBlock);
    }
    gst_video_frame_unmap(&frame);
  }
  if (caps) gst_caps_unref(caps);
  ++count;
  return GST_PAD_PROBE_OK;
}

std::string ClipPath(const std::string& folder, const Clip& c) {
  return folder + "/noisy_" + std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + std::to_string(c.kbps) +
         (c.b_frames ? "_high" : "_nob") + ".mkv";
}

bool MakeClip(const std::string& path, const Clip& c) {
  if (std::filesystem::exists(path)) return true;
  std::printf("making %s ...\n", path.c_str());
  std::fflush(stdout);
  const std::string size = "width=" + std::to_string(c.width) + ",height=" + std::to_string(c.height) +
                           ",framerate=" + std::to_string(kFps) + "/1";
  const std::string frames = std::to_string(kClipFrames);
  const std::string encoder =
      c.b_frames
          ? "x264enc speed-preset=superfast bframes=2 b-adapt=false key-int-max=30 bitrate=" + std::to_string(c.kbps) +
                " ! video/x-h264,profile=high"
          : "x264enc tune=zerolatency speed-preset=superfast key-int-max=30 bitrate=" + std::to_string(c.kbps) +
                " ! video/x-h264,profile=main";
  const std::string tmp = path + ".part";
  const std::string description = "videotestsrc num-buffers=" + frames +
                                  " pattern=ball animation-mode=frames background-color=0xff305070 ! "
                                  "video/x-raw,format=I420," +
                                  size + " ! compositor name=mix sink_1::alpha=0.2 ! video/x-raw,format=I420," + size +
                                  " ! identity name=stamp ! " + encoder + " ! matroskamux ! filesink location=" + tmp +
                                  " videotestsrc num-buffers=" + frames + " pattern=snow ! video/x-raw,format=I420," +
                                  size + " ! mix.";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (!pipeline) return false;
  GstElement* stamp = gst_bin_get_by_name(GST_BIN(pipeline), "stamp");
  GstPad* pad = gst_element_get_static_pad(stamp, "src");
  uint32_t count = 0;
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, StampNumber, &count, nullptr);
  gst_object_unref(pad);
  gst_object_unref(stamp);
  GstMessage* message = RunToEnd(pipeline);
  const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
  if (message) gst_message_unref(message);
  gst_object_unref(pipeline);
  if (ok) std::filesystem::rename(tmp, path);
  return ok;
}

// The clip decoded here, as the receivers decode it, to NV12.
Reference DecodeReference(const std::string& clip) {
  Reference reference;
  GstElement* pipeline = gst_parse_launch(("filesrc location=" + clip +
                                           " ! matroskademux ! h264parse ! avdec_h264 ! videoconvert ! "
                                           "video/x-raw,format=NV12 ! appsink name=out sync=false")
                                              .c_str(),
                                          nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
    GstVideoInfo video;
    GstVideoFrame frame;
    if (gst_video_info_from_caps(&video, gst_sample_get_caps(sample)) &&
        gst_video_frame_map(&frame, &video, gst_sample_get_buffer(sample), GST_MAP_READ)) {
      const auto* y = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
      const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
      if (const auto n = ReadNumber(y, stride))
        reference[*n] = GridOf(y, stride, GST_VIDEO_INFO_WIDTH(&video), GST_VIDEO_INFO_HEIGHT(&video));
      gst_video_frame_unmap(&frame);
    }
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  return reference;
}

// ---- the sender (child process): the clip as RTP at its frame rate; prints
// the RTP timestamp and send time of every frame's last packet, one a line.
// The payloader pushes a fragmented frame as a buffer list.

struct SentFrame {
  uint32_t rtp_time;
  uint64_t sent_ns;
};

void StampIfLast(GstBuffer* buffer, std::vector<SentFrame>& sent) {
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
  if (map.size >= 12 && (map.data[1] & 0x80))
    sent.push_back(
        {uint32_t(map.data[4]) << 24 | uint32_t(map.data[5]) << 16 | uint32_t(map.data[6]) << 8 | map.data[7],
         MonotonicNs()});
  gst_buffer_unmap(buffer, &map);
}

GstPadProbeReturn OnRtpOut(GstPad*, GstPadProbeInfo* info, gpointer user_data) {
  auto& sent = *static_cast<std::vector<SentFrame>*>(user_data);
  if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
    StampIfLast(GST_PAD_PROBE_INFO_BUFFER(info), sent);
  } else {
    GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
    for (guint k = 0; k < gst_buffer_list_length(list); ++k) StampIfLast(gst_buffer_list_get(list, k), sent);
  }
  return GST_PAD_PROBE_OK;
}

int Send(const char* clip, int port) {
  gst_init(nullptr, nullptr);
  const std::string description = std::string("filesrc location=") + clip +
                                  " ! matroskademux ! h264parse config-interval=-1 ! rtph264pay pt=96 mtu=1400 "
                                  "config-interval=-1 ! udpsink name=out sync=true host=127.0.0.1 port=" +
                                  std::to_string(port);
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  GstPad* pad = gst_element_get_static_pad(out, "sink");
  std::vector<SentFrame> sent;
  sent.reserve(size_t{kClipFrames} * 2);
  gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), OnRtpOut, &sent,
                    nullptr);
  gst_object_unref(pad);
  gst_object_unref(out);
  if (GstMessage* message = RunToEnd(pipeline)) gst_message_unref(message);
  gst_object_unref(pipeline);
  for (const SentFrame& f : sent) std::printf("%u %llu\n", f.rtp_time, static_cast<unsigned long long>(f.sent_ns));
  return 0;
}

// Runs the sender; returns the send time of each frame by frame number. The
// frames go out in decoding order; their RTP times, in increasing order, are
// the frame numbers' order.
std::vector<uint64_t> SendClip(const char* self, const std::string& clip, int port) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    const std::string port_text = std::to_string(port);
    execl(self, self, "--send", clip.c_str(), port_text.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  std::vector<std::pair<int64_t, uint64_t>> frames;  // RTP time (unwrapped from the first), send time
  uint32_t first = 0;
  for (char* line = std::strtok(text.data(), "\n"); line; line = std::strtok(nullptr, "\n")) {
    char* rest = nullptr;
    const auto rtp_time = uint32_t(std::strtoul(line, &rest, 10));
    if (frames.empty()) first = rtp_time;
    frames.emplace_back(int64_t(int32_t(rtp_time - first)), std::strtoull(rest, nullptr, 10));
  }
  std::sort(frames.begin(), frames.end());
  std::vector<uint64_t> by_number;
  by_number.reserve(frames.size());
  for (const auto& f : frames) by_number.push_back(f.second);
  return by_number;
}

// ---- network faults: a relay on loopback between sender and receiver that
// delays each datagram by a random amount (packets overtake one another when
// the spread exceeds their spacing) and drops some. The kernel's netem is not
// needed for it.

struct Fault {
  const char* name;
  int delay_spread_us;  // each datagram waits 0 .. spread
  double loss;          // share dropped
};

class Relay {
 public:
  Relay(int to_port, const Fault& fault) : fault_(fault) {
    in_ = socket(AF_INET, SOCK_DGRAM, 0);
    out_ = socket(AF_INET, SOCK_DGRAM, 0);
    int size = kReceiveBuffer;
    setsockopt(in_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(in_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      g_error("relay: no loopback port: %s", g_strerror(errno));
    }
    socklen_t length = sizeof address;
    getsockname(in_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    to_ = address;
    to_.sin_port = htons(uint16_t(to_port));
    thread_ = std::thread([this] { Forward(); });
  }
  ~Relay() {
    stop_ = true;
    thread_.join();
    close(in_);
    close(out_);
  }
  int port = 0;

 private:
  struct Held {
    uint64_t due_ns;
    uint64_t order;
    std::vector<uint8_t> bytes;
    bool operator>(const Held& other) const { return std::tie(due_ns, order) > std::tie(other.due_ns, other.order); }
  };
  void Forward() {
    std::mt19937_64 random(42);
    std::priority_queue<Held, std::vector<Held>, std::greater<>> held;
    std::vector<uint8_t> buffer(65536);
    uint64_t order = 0;
    while (!stop_ || !held.empty()) {
      const uint64_t now = MonotonicNs();
      while (!held.empty() && held.top().due_ns <= now) {
        sendto(out_, held.top().bytes.data(), held.top().bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to_),
               sizeof to_);
        held.pop();
      }
      const int wait_ms = held.empty() ? 20 : int(std::min<uint64_t>(20, (held.top().due_ns - now) / 1000000));
      pollfd fd{in_, POLLIN, 0};
      if (poll(&fd, 1, wait_ms) <= 0) continue;
      const ssize_t n = recv(in_, buffer.data(), buffer.size(), 0);
      if (n <= 0) continue;
      if (std::uniform_real_distribution<double>(0, 1)(random) < fault_.loss) continue;
      const uint64_t delay_ns = fault_.delay_spread_us
                                    ? std::uniform_int_distribution<uint64_t>(0, fault_.delay_spread_us)(random) * 1000
                                    : 0;
      held.push({MonotonicNs() + delay_ns, order++, std::vector<uint8_t>(buffer.begin(), buffer.begin() + n)});
    }
  }
  Fault fault_;
  int in_ = -1, out_ = -1;
  sockaddr_in to_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Sends the clip to `port`, through a relay when the fault asks for one.
std::vector<uint64_t> SendClip(const char* self, const std::string& clip, int port, const Fault& fault) {
  if (!fault.delay_spread_us && fault.loss == 0) return SendClip(self, clip, port);
  Relay relay(port, fault);
  return SendClip(self, clip, relay.port);
}

// ---- the receivers

struct Run {
  size_t sent = 0, published = 0, checked = 0, intact = 0;
  double cpu_ms_per_frame = 0;
  std::vector<double> latency_ms;
};

// First arrival of each frame number, and how many of them were intact.
struct Arrivals {
  std::mutex lock;
  std::map<uint32_t, uint64_t> first_seen;
  size_t seen = 0, checked = 0, intact = 0;
  // `intact_picture`: nothing when the picture was not compared.
  void Add(uint64_t t, std::optional<uint32_t> number, std::optional<bool> intact_picture) {
    std::lock_guard<std::mutex> guard(lock);
    ++seen;
    if (intact_picture) ++checked;
    if (!number) return;
    if (first_seen.emplace(*number, t).second && intact_picture.value_or(false)) ++intact;
  }
};

void Finish(Run& run, const std::vector<uint64_t>& sent, Arrivals& arrivals, uint64_t cpu_ns) {
  std::lock_guard<std::mutex> guard(arrivals.lock);
  run.sent = sent.size();
  run.published = arrivals.seen;
  run.checked = arrivals.checked;
  run.intact = arrivals.intact;
  run.cpu_ms_per_frame = sent.empty() ? 0 : double(cpu_ns) / 1e6 / double(sent.size());
  for (const auto& [n, t] : arrivals.first_seen)
    if (n < sent.size()) run.latency_ms.push_back((double(t) - double(sent[n])) / 1e6);
}

Run MeasureEngine(const char* self, const std::string& clip, const Clip& c, const Reference& reference,
                  const Fault& fault) {
  Run run;
  const int port = testsupport::FreeUdpPort();
  if (strova_startoutput(0, nullptr, port, "video/x-raw", c.width, c.height, kFps, 1) != 1) return run;
  FrameQueueReader reader;
  if (!reader.Open()) {
    std::fprintf(stderr, "no frame queue region\n");
    strova_endoutput();
    return run;
  }
  g_usleep(300'000);  // the pipeline reaches PLAYING

  Arrivals arrivals;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> poller_cpu{0};
  std::thread poller([&] {
    uint32_t seen = reader.Header().read_index;
    FrameQueueReader::Frame frame;
    while (!stop.load()) {
      const uint32_t now = reader.Header().read_index;
      if (now != seen) {
        const uint64_t t = MonotonicNs();
        // Frames completed between two polls are counted but not looked at.
        for (uint32_t k = seen + 1; k != now; ++k) {
          std::lock_guard<std::mutex> guard(arrivals.lock);
          ++arrivals.seen;
        }
        seen = now;
        if (reader.CopyNewestFrame(frame) == FrameQueueReader::Copy::Copied && frame.index == now) {
          const auto number = ReadNumber(frame.pixels.data(), c.width);
          arrivals.Add(t, number,
                       number && Intact(reference, *number, GridOf(frame.pixels.data(), c.width, c.width, c.height)));
        } else {
          std::lock_guard<std::mutex> guard(arrivals.lock);
          ++arrivals.seen;
        }
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    poller_cpu = CpuNs(CLOCK_THREAD_CPUTIME_ID);
  });
  const uint64_t cpu0 = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
  const std::vector<uint64_t> sent = SendClip(self, clip, port, fault);
  g_usleep(300'000);  // the last frames drain
  stop = true;
  poller.join();
  Finish(run, sent, arrivals, CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0 - poller_cpu);
  reader.Close();
  strova_endoutput();
  return run;
}

struct HandoffContext {
  Arrivals* arrivals;
  const Reference* reference;  // null: the frame number only, no comparison
};

void OnHandoff(GstElement*, GstBuffer* buffer, GstPad* pad, gpointer user_data) {
  const uint64_t t = MonotonicNs();
  auto& context = *static_cast<HandoffContext*>(user_data);
  GstCaps* caps = gst_pad_get_current_caps(pad);
  GstVideoInfo video;
  GstVideoFrame frame;
  std::optional<uint32_t> number;
  std::optional<bool> intact;
  if (caps && gst_video_info_from_caps(&video, caps) && gst_video_frame_map(&frame, &video, buffer, GST_MAP_READ)) {
    const auto* y = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    number = ReadNumber(y, stride);
    if (context.reference)
      intact = number && Intact(*context.reference, *number,
                                GridOf(y, stride, GST_VIDEO_INFO_WIDTH(&video), GST_VIDEO_INFO_HEIGHT(&video)));
    gst_video_frame_unmap(&frame);
  }
  if (caps) gst_caps_unref(caps);
  context.arrivals->Add(t, number, intact);
}

// A plain gst chain ending in fakesink: `elements` between the RTP caps and
// the sink. The sink's handoff reads each frame's number and, with a
// reference, compares the picture.
Run MeasureChain(const char* self, const std::string& clip, const std::string& elements, const Reference* reference,
                 const Fault& fault, const std::string& caps = "application/x-rtp,payload=96") {
  Run run;
  const int port = testsupport::FreeUdpPort();
  const std::string description = "udpsrc buffer-size=" + std::to_string(kReceiveBuffer) +
                                  " port=" + std::to_string(port) + " ! " + caps + " ! " + elements +
                                  " ! fakesink name=out sync=false signal-handoffs=true";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  Arrivals arrivals;
  HandoffContext context{&arrivals, reference};
  g_signal_connect(out, "handoff", G_CALLBACK(OnHandoff), &context);
  gst_object_unref(out);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  g_usleep(300'000);
  const uint64_t cpu0 = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
  const std::vector<uint64_t> sent = SendClip(self, clip, port, fault);
  g_usleep(300'000);
  const uint64_t cpu = CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  Finish(run, sent, arrivals, cpu);
  return run;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, size_t(std::lround(p * double(values.size() - 1))));
  return values[index];
}

// Counts and latencies from all rounds together; the lowest CPU figure counts.
struct Summary {
  size_t sent = 0, published = 0, checked = 0, intact = 0;
  double cpu = 1e300;
  std::vector<double> latency;
  void Add(const Run& run) {
    sent += run.sent;
    published += run.published;
    checked += run.checked;
    intact += run.intact;
    if (run.sent) cpu = std::min(cpu, run.cpu_ms_per_frame);
    latency.insert(latency.end(), run.latency_ms.begin(), run.latency_ms.end());
  }
  void Print(const char* clip, const char* receiver, double ratio) const {
    char checked_text[32] = "-";
    if (checked) std::snprintf(checked_text, sizeof checked_text, "%zu/%zu", intact, checked);
    char latency_text[32] = "      -       -";
    if (!latency.empty())
      std::snprintf(latency_text, sizeof latency_text, "%7.1f %7.1f", Percentile(latency, 0.5),
                    Percentile(latency, 0.99));
    std::printf("%-14s %-12s %6zu %6zu %11s %7.2f %6.3f %s\n", clip, receiver, sent, published, checked_text, cpu,
                ratio, latency_text);
  }
};

const std::string kDecode = "rtph264depay ! avdec_h264";
// The jitter buffer needs the clock rate in the caps.
const std::string kJitterCaps = "application/x-rtp,payload=96,clock-rate=90000";

void PrintHeader(int rounds) {
  std::printf("%d round(s) of %d frames per clip and receiver; intact = checked frames equal to a local decode\n",
              rounds, kClipFrames);
  std::printf("%-14s %-12s %6s %6s %11s %7s %6s %7s %7s\n", "clip", "receiver", "sent", "publ", "intact/chk",
              "cpu ms/f", "ratio", "p50 ms", "p99 ms");
}

void PrintConditions(const char* when) {
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("%s: %ld processors, load average %.2f %.2f %.2f\n", when, sysconf(_SC_NPROCESSORS_ONLN), load[0],
              load[1], load[2]);
}

// The clean run: every clip, the engine against the plain chain and a plain
// decoder.
int MeasureClips(const char* self, const std::string& folder, int rounds) {
  const Clip clips[] = {{"720p30 no-B", 1280, 720, 4000, false},
                        {"720p30 high", 1280, 720, 4000, true},
                        {"1080p30 no-B", 1920, 1080, 8000, false},
                        {"1080p30 high", 1920, 1080, 10000, true}};
  const Fault clean{"clean", 0, 0};
  const std::string chain =
      "rtpjitterbuffer latency=30 ! " + kDecode + " ! videoconvert ! video/x-raw,format=NV12 ! tee ! queue";
  PrintHeader(rounds);
  for (const Clip& c : clips) {
    const std::string clip = ClipPath(folder, c);
    if (!MakeClip(clip, c)) return 1;
    const Reference reference = DecodeReference(clip);
    Summary engine, baseline, decode_only;
    for (int round = 0; round < rounds; ++round) {
      engine.Add(MeasureEngine(self, clip, c, reference, clean));
      baseline.Add(MeasureChain(self, clip, chain, nullptr, clean, kJitterCaps));
      decode_only.Add(MeasureChain(self, clip, kDecode, &reference, clean));
    }
    engine.Print(c.name, "engine", engine.cpu / baseline.cpu);
    baseline.Print("", "chain", 1.0);
    decode_only.Print("", "decode-only", decode_only.cpu / baseline.cpu);
    std::printf("%-14s reference frames %zu; engine p50 - decode-only p50 = %.1f ms\n", "", reference.size(),
                Percentile(engine.latency, 0.5) - Percentile(decode_only.latency, 0.5));
    std::fflush(stdout);
  }
  return 0;
}

// Loss, reordering and jitter through the relay: the engine, a plain decoder,
// and a plain decoder behind a small jitter buffer, on the 720p30 no-B clip.
int MeasureFaults(const char* self, const std::string& folder, int rounds) {
  const Clip c{"720p30 no-B", 1280, 720, 4000, false};
  const Fault faults[] = {{"clean", 0, 0}, {"reorder 2ms", 2000, 0}, {"jitter 20ms", 20000, 0}, {"loss 1%", 0, 0.01}};
  const std::string buffered[] = {"rtpjitterbuffer latency=10 ! " + kDecode, "rtpjitterbuffer latency=30 ! " + kDecode};
  const std::string clip = ClipPath(folder, c);
  if (!MakeClip(clip, c)) return 1;
  const Reference reference = DecodeReference(clip);
  PrintHeader(rounds);
  for (const Fault& fault : faults) {
    Summary engine, decode_only, jb10, jb30;
    for (int round = 0; round < rounds; ++round) {
      engine.Add(MeasureEngine(self, clip, c, reference, fault));
      decode_only.Add(MeasureChain(self, clip, kDecode, &reference, fault));
      jb10.Add(MeasureChain(self, clip, buffered[0], &reference, fault, kJitterCaps));
      jb30.Add(MeasureChain(self, clip, buffered[1], &reference, fault, kJitterCaps));
    }
    engine.Print(fault.name, "engine", 0);
    decode_only.Print("", "decode-only", 0);
    jb10.Print("", "jitterbuf 10", 0);
    jb30.Print("", "jitterbuf 30", 0);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--send") == 0) return Send(argv[2], std::atoi(argv[3]));
  const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string() + "/vantrel-bench";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  const bool faults = argc > 3 && std::strcmp(argv[3], "faults") == 0;
  std::filesystem::create_directories(folder);
  if (strova_init(1) != 1) return 1;
  PrintConditions("start");
  const int result = faults ? MeasureFaults(argv[0], folder, rounds) : MeasureClips(argv[0], folder, rounds);
  PrintConditions("end");
  strova_release();
  return result;
}
