// Benchmark of the engine's main path: a pre-encoded H.264 clip sent as RTP
// at its frame rate to strova_startoutput's network chain and, alternately,
// to the same chain built with gst_parse_launch ending in fakesink.
// Reports CPU time per frame (engine / baseline), frames sent against frames
// published in the frame queue, and send-to-publication latency against
// send-to-sink latency (p50, p99); also the engine's CPU per frame when it has
// no frame queue to copy into.
//
// The sender runs in a child process (this program with --send), so that only
// the receiving side counts in this process's CPU time; both sides stamp
// frames with CLOCK_MONOTONIC, which the two processes share.
//
// Usage: output_bench [clip folder]   (clips are made there once and reused)
#include <arpa/inet.h>
#include <fcntl.h>
#include <gst/gst.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/frame_queue.h"
#include "engine/strova.h"
#include "tests/support/free_port.h"

namespace {

uint64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint64_t ThreadCpuNs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint64_t ProcessCpuNs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

struct Format {
  int width, height, fps, kbps;
};

constexpr int kClipSeconds = 6;

std::string ClipPath(const std::string& folder, const Format& f) {
  return folder + "/clip_" + std::to_string(f.width) + "x" + std::to_string(f.height) + "_" +
         std::to_string(f.fps) + ".mkv";
}

bool RunToEnd(const std::string& description) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline) {
    std::fprintf(stderr, "pipeline failed: %s\n", error ? error->message : "?");
    if (error) g_error_free(error);
    return false;
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message =
      gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return ok;
}

// A moving pattern, high profile 4:2:0, no B-frames (a live camera's stream),
// one key frame a second.
bool MakeClip(const std::string& path, const Format& f) {
  if (std::filesystem::exists(path)) return true;
  std::printf("making %s ...\n", path.c_str());
  std::fflush(stdout);
  const std::string tmp = path + ".part";
  const bool ok = RunToEnd(
      "videotestsrc num-buffers=" + std::to_string(kClipSeconds * f.fps) +
      " pattern=ball background-color=0xff305070 animation-mode=frames ! video/x-raw,format=I420,width=" +
      std::to_string(f.width) + ",height=" + std::to_string(f.height) + ",framerate=" + std::to_string(f.fps) +
      "/1 ! x264enc tune=zerolatency speed-preset=superfast bitrate=" + std::to_string(f.kbps) +
      " key-int-max=" + std::to_string(f.fps) +
      " ! video/x-h264,profile=high ! matroskamux ! filesink location=" + tmp);
  if (ok) std::filesystem::rename(tmp, path);
  return ok;
}

// ---- the sender (child process): the clip as RTP at its frame rate; prints
// the send time of every frame's last packet, one a line.

GstPadProbeReturn OnRtpPacket(GstPad*, GstPadProbeInfo* info, gpointer user_data) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  GstMapInfo map;
  if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    if (map.size > 1 && (map.data[1] & 0x80)) static_cast<std::vector<uint64_t>*>(user_data)->push_back(MonotonicNs());
    gst_buffer_unmap(buffer, &map);
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
  std::vector<uint64_t> sent;
  sent.reserve(1024);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnRtpPacket, &sent, nullptr);
  gst_object_unref(pad);
  gst_object_unref(out);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message =
      gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  for (uint64_t t : sent) std::printf("%llu\n", static_cast<unsigned long long>(t));
  return 0;
}

// Runs the sender and returns its frames' send times.
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
  std::vector<uint64_t> times;
  for (char* line = std::strtok(text.data(), "\n"); line; line = std::strtok(nullptr, "\n"))
    times.push_back(std::strtoull(line, nullptr, 10));
  return times;
}

using testsupport::FreeUdpPort;

// ---- the receiving sides

struct Run {
  size_t sent = 0;
  size_t received = 0;
  double cpu_ms_per_frame = 0;
  std::vector<double> latency_ms;  // per frame matched to its send
};

// Arrival times, stamped by a poller of the frame queue's read_index (engine)
// or by a probe on the fakesink (baseline).
struct Arrivals {
  std::mutex lock;
  std::vector<uint64_t> times;
  void Add(uint64_t t) {
    std::lock_guard<std::mutex> guard(lock);
    times.push_back(t);
  }
};

void Finish(Run& run, const std::vector<uint64_t>& sent, const std::vector<uint64_t>& arrived, uint64_t cpu_ns) {
  run.sent = sent.size();
  run.received = arrived.size();
  run.cpu_ms_per_frame = arrived.empty() ? 0 : double(cpu_ns) / 1e6 / double(arrived.size());
  // Frames arrive in order; with none lost the k-th arrival is the k-th send.
  // When frames were lost, match from the end (the last frames are the ones
  // sent after any start-up loss).
  const size_t n = std::min(sent.size(), arrived.size());
  for (size_t k = 0; k < n; ++k) {
    const uint64_t s = sent[sent.size() - n + k], a = arrived[arrived.size() - n + k];
    run.latency_ms.push_back((double(a) - double(s)) / 1e6);
  }
}

constexpr const char* kRegion = "/vantrelVirtualCamVideo";

Run MeasureEngine(const char* self, const std::string& clip, const Format& f) {
  Run run;
  const int port = FreeUdpPort();
  if (strova_startoutput(0, nullptr, port, "video/x-raw", f.width, f.height, 30, 1) != 1) return run;
  const int fd = shm_open(kRegion, O_RDONLY, 0);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) {
    std::fprintf(stderr, "no frame queue region\n");
    if (fd >= 0) close(fd);
    strova_endoutput();
    return run;
  }
  auto* view = static_cast<const uint8_t*>(mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0));
  close(fd);
  const auto* read_index = reinterpret_cast<const std::atomic<uint32_t>*>(view + 4);
  g_usleep(300 * 1000);  // the pipeline reaches PLAYING

  Arrivals arrivals;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> poller_cpu{0};
  std::thread poller([&] {
    uint32_t seen = read_index->load(std::memory_order_acquire);
    while (!stop.load()) {
      const uint32_t now = read_index->load(std::memory_order_acquire);
      if (now != seen) {
        const uint64_t t = MonotonicNs();
        for (uint32_t k = seen; k != now; ++k) arrivals.Add(t);
        seen = now;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    poller_cpu = ThreadCpuNs();
  });
  const uint64_t cpu0 = ProcessCpuNs();
  const std::vector<uint64_t> sent = SendClip(self, clip, port);
  g_usleep(300 * 1000);  // the last frames drain
  stop = true;
  poller.join();
  const uint64_t cpu = ProcessCpuNs() - cpu0 - poller_cpu;
  Finish(run, sent, arrivals.times, cpu);
  munmap(const_cast<uint8_t*>(view), size_t(st.st_size));
  strova_endoutput();
  return run;
}

// The engine with no frame queue of its own (a region of that name is held
// here first): it pulls and drops every frame, which leaves the copy into the
// queue out of its CPU time. Frames are counted as sent.
double EngineCpuWithoutQueue(const char* self, const std::string& clip, const Format& f) {
  FrameQueue* held = FrameQueueCreate(f.width, f.height);
  const int port = FreeUdpPort();
  double per_frame = 0;
  if (held && strova_startoutput(0, nullptr, port, "video/x-raw", f.width, f.height, 30, 1) == 1) {
    g_usleep(300 * 1000);
    const uint64_t cpu0 = ProcessCpuNs();
    const std::vector<uint64_t> sent = SendClip(self, clip, port);
    g_usleep(300 * 1000);
    if (!sent.empty()) per_frame = double(ProcessCpuNs() - cpu0) / 1e6 / double(sent.size());
  }
  strova_endoutput();
  FrameQueueClose(held);
  return per_frame;
}

// The fakesink's handoff comes where the appsink would hand the sample on:
// after the sink has waited for the frame's time on the clock.
void OnSinkHandoff(GstElement*, GstBuffer*, GstPad*, gpointer user_data) {
  static_cast<Arrivals*>(user_data)->Add(MonotonicNs());
}

Run MeasureBaseline(const char* self, const std::string& clip) {
  Run run;
  const int port = FreeUdpPort();
  // The engine's chain, element for element, with fakesink in place of the
  // appsink (synchronised to the clock as the appsink is).
  const std::string description =
      "udpsrc port=" + std::to_string(port) +
      " ! application/x-rtp,payload=96 ! rtph264depay ! avdec_h264 ! videoconvert ! video/x-raw,format=NV12 ! "
      "tee ! queue ! fakesink name=out sync=true signal-handoffs=true";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  Arrivals arrivals;
  g_signal_connect(out, "handoff", G_CALLBACK(OnSinkHandoff), &arrivals);
  gst_object_unref(out);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  g_usleep(300 * 1000);
  const uint64_t cpu0 = ProcessCpuNs();
  const std::vector<uint64_t> sent = SendClip(self, clip, port);
  g_usleep(300 * 1000);
  const uint64_t cpu = ProcessCpuNs() - cpu0;
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  std::vector<uint64_t> times;
  {
    std::lock_guard<std::mutex> guard(arrivals.lock);
    times = arrivals.times;
  }
  Finish(run, sent, times, cpu);
  return run;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
  return values[index];
}

// Three rounds each, alternating; the lowest CPU figure of each side counts,
// latencies and counts come from all rounds together.
struct Summary {
  size_t sent = 0, received = 0;
  double cpu = 1e300;
  std::vector<double> latency;
  void Add(const Run& run) {
    sent += run.sent;
    received += run.received;
    if (run.received) cpu = std::min(cpu, run.cpu_ms_per_frame);
    latency.insert(latency.end(), run.latency_ms.begin(), run.latency_ms.end());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--send") == 0) return Send(argv[2], std::atoi(argv[3]));
  const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string() + "/vantrel-bench";
  std::filesystem::create_directories(folder);
  if (strova_init(1) != 1) return 1;

  const Format formats[] = {{1280, 720, 30, 3000}, {1280, 720, 60, 4500}, {1920, 1080, 30, 6000},
                            {1920, 1080, 60, 9000}};
  std::printf("%-12s %8s %8s %8s %7s %7s %7s %7s %7s %7s %7s %7s\n", "format", "sent", "engine", "base", "cpu/f",
              "cpu/f", "ratio", "p50", "p50", "p99", "p99", "cpu/f");
  std::printf("%-12s %8s %8s %8s %7s %7s %7s %7s %7s %7s %7s %7s\n", "", "frames", "queued", "sink", "eng ms",
              "base ms", "", "eng ms", "base ms", "eng ms", "base ms", "noqueue");
  for (const Format& f : formats) {
    const std::string clip = ClipPath(folder, f);
    if (!MakeClip(clip, f)) return 1;
    Summary engine, baseline;
    double dropping = 1e300;
    for (int round = 0; round < 3; ++round) {
      engine.Add(MeasureEngine(argv[0], clip, f));
      baseline.Add(MeasureBaseline(argv[0], clip));
      dropping = std::min(dropping, EngineCpuWithoutQueue(argv[0], clip, f));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%dx%d@%d", f.width, f.height, f.fps);
    std::printf("%-12s %8zu %8zu %8zu %7.2f %7.2f %7.3f %7.2f %7.2f %7.2f %7.2f %7.2f\n", name, engine.sent,
                engine.received, baseline.received, engine.cpu, baseline.cpu, engine.cpu / baseline.cpu,
                Percentile(engine.latency, 0.5), Percentile(baseline.latency, 0.5),
                Percentile(engine.latency, 0.99), Percentile(baseline.latency, 0.99), dropping);
    std::fflush(stdout);
  }
  strova_release();
  return 0;
}
