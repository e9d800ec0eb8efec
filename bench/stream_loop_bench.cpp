// Camera stream-out -> stream preview over 127.0.0.1 at 1280x720, 30 frames a
// second: CPU time per frame shown and latency from camera frame to video
// sink, for the engine's pipelines and for the same chains built with
// gst_parse_launch, measured in turn in this one process.
// The engine's two pipelines need two slot sets: the stream preview runs in
// the engine linked into this program, the stream-out in a private copy of
// libstrova.so. The test camera stands in for the camera; the latency is
// taken by switching it from black to white and timing the first white frame
// leaving the camera and reaching the sink.
#include <dlfcn.h>
#include <gst/gst.h>
#include <gst/video/videooverlay.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "tests/camera/test_camera.h"
#include "tests/camera/x11_picture.h"
#include "tests/support/free_port.h"
#include "tests/support/xvfb.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720, kFramerate = 30;
constexpr auto kCpuPhase = std::chrono::seconds(3);
constexpr int kFlashes = 5;
constexpr int kPatternSmpte = 0, kPatternBlack = 2, kPatternWhite = 3;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec);
  return seconds + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Frames and first-white times seen at the camera and at the sink.
struct Stamps {
  std::atomic<int> sink_frames{0};
  std::atomic<int64_t> camera_white{0};
  std::atomic<int64_t> sink_white{0};
};

bool FirstByteIsWhite(GstPadProbeInfo* info) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  GstMapInfo map;
  if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
  const bool white = map.size > 0 && map.data[0] > 128;
  gst_buffer_unmap(buffer, &map);
  return white;
}

GstPadProbeReturn AtCamera(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* stamps = static_cast<Stamps*>(data);
  if (stamps->camera_white == 0 && FirstByteIsWhite(info)) stamps->camera_white = NowNs();
  return GST_PAD_PROBE_OK;
}

GstPadProbeReturn AtSink(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* stamps = static_cast<Stamps*>(data);
  ++stamps->sink_frames;
  if (stamps->camera_white != 0 && stamps->sink_white == 0 && FirstByteIsWhite(info)) stamps->sink_white = NowNs();
  return GST_PAD_PROBE_OK;
}

void Probe(GstElement* element, const char* pad_name, GstPadProbeCallback callback, Stamps* stamps) {
  GstPad* pad = gst_element_get_static_pad(element, pad_name);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, callback, stamps, nullptr);
  gst_object_unref(pad);
}

// One way of building the loop: starts both ends and returns the sink.
struct LoopBuilder {
  const char* name;
  GstElement* (*start)(int port, unsigned long window);
  void (*stop)();
};

// The stream-out side of the engine, from a private copy of the library.
struct EngineCopy {
  decltype(&strova_init) init = nullptr;
  decltype(&strova_startstream) startstream = nullptr;
  decltype(&strova_endstream) endstream = nullptr;
  bool Load() {
    const std::string copy = std::filesystem::temp_directory_path() / ("strova-bench-" + std::to_string(getpid()));
    std::filesystem::copy_file(STROVA_LIBRARY_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::filesystem::remove(copy);
    if (!library) return false;
    init = reinterpret_cast<decltype(init)>(dlsym(library, "strova_init"));
    startstream = reinterpret_cast<decltype(startstream)>(dlsym(library, "strova_startstream"));
    endstream = reinterpret_cast<decltype(endstream)>(dlsym(library, "strova_endstream"));
    return init && startstream && endstream && init(1) == 1;
  }
};
EngineCopy sender_engine;

GstElement* StartEngineLoop(int port, unsigned long window) {
  if (strova_startplaystream(port, 96, window) != 1) return nullptr;
  if (sender_engine.startstream(0, nullptr, "video/x-raw", kWidth, kHeight, kFramerate, 1, "127.0.0.1", port) != 1) {
    return nullptr;
  }
  return g_slots.sink;
}

void StopEngineLoop() {
  sender_engine.endstream();
  strova_endplaystream();
}

GstElement* parsed_sender = nullptr;
GstElement* parsed_receiver = nullptr;

GstElement* StartParsedLoop(int port, unsigned long window) {
  const std::string receiver = "udpsrc port=" + std::to_string(port) +
                               " ! application/x-rtp,payload=96 ! rtph264depay ! avdec_h264 ! "
                               "glimagesink name=video-output";
  const std::string sender = "mfvideosrc device-index=0 ! video/x-raw,width=" + std::to_string(kWidth) +
                             ",height=" + std::to_string(kHeight) + ",framerate=" + std::to_string(kFramerate) +
                             "/1 ! mfh264enc low-latency=true quality-vs-speed=0 ! rtph264pay ! "
                             "udpsink host=127.0.0.1 port=" +
                             std::to_string(port);
  parsed_receiver = gst_parse_launch(receiver.c_str(), nullptr);
  parsed_sender = gst_parse_launch(sender.c_str(), nullptr);
  if (!parsed_receiver || !parsed_sender) return nullptr;
  GstElement* sink = gst_bin_get_by_name(GST_BIN(parsed_receiver), "video-output");
  gst_object_unref(sink);  // the pipeline keeps it
  gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), window);
  gst_element_set_state(parsed_receiver, GST_STATE_PLAYING);
  gst_element_set_state(parsed_sender, GST_STATE_PLAYING);
  return sink;
}

void StopParsedLoop() {
  for (GstElement** pipeline : {&parsed_sender, &parsed_receiver}) {
    gst_element_set_state(*pipeline, GST_STATE_NULL);
    gst_object_unref(*pipeline);
    *pipeline = nullptr;
  }
}

struct Figures {
  double cpu_ms_per_frame = 0;
  double frames_per_second = 0;
  double latency_ms = 0;  // median over the flashes
};

bool Measure(const LoopBuilder& builder, unsigned long window, Figures& figures) {
  Stamps stamps;
  GstElement* sink = builder.start(testsupport::FreeUdpPort(), window);
  GstElement* pattern = testcamera::LatestPattern();
  if (!sink || !pattern) {
    std::fprintf(stderr, "%s: the loop did not start\n", builder.name);
    return false;
  }
  Probe(sink, "sink", AtSink, &stamps);
  Probe(pattern, "src", AtCamera, &stamps);
  g_object_set(pattern, "pattern", kPatternSmpte, "horizontal-speed", 8, nullptr);
  std::this_thread::sleep_for(std::chrono::seconds(1));  // keyframe and caps settle

  const int frames_before = stamps.sink_frames;
  const double cpu_before = CpuSeconds();
  const auto wall_before = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(kCpuPhase);
  const int frames = stamps.sink_frames - frames_before;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
  figures.cpu_ms_per_frame = frames ? (CpuSeconds() - cpu_before) * 1000 / frames : 0;
  figures.frames_per_second = frames / wall;

  std::vector<double> latencies;
  for (int flash = 0; flash < kFlashes; ++flash) {
    g_object_set(pattern, "pattern", kPatternBlack, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    stamps.camera_white = 0;
    stamps.sink_white = 0;
    g_object_set(pattern, "pattern", kPatternWhite, nullptr);
    for (int waited = 0; waited < 2000 && stamps.sink_white == 0; waited += 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (stamps.sink_white) latencies.push_back(static_cast<double>(stamps.sink_white - stamps.camera_white) / 1e6);
  }
  gst_object_unref(pattern);
  builder.stop();
  if (latencies.empty()) {
    std::fprintf(stderr, "%s: no white frame reached the sink\n", builder.name);
    return false;
  }
  std::sort(latencies.begin(), latencies.end());
  figures.latency_ms = latencies[latencies.size() / 2];
  std::printf("%-14s %6.2f ms CPU/frame  %5.1f frames/s  latency %6.1f ms (median of %zu)\n", builder.name,
              figures.cpu_ms_per_frame, figures.frames_per_second, figures.latency_ms, latencies.size());
  return true;
}

}  // namespace

int main() {
  testsupport::XvfbDisplay display("1920x1080x24");
  if (!display.ok()) return 1;
  camerasupport::X11Window window(kWidth, kHeight);
  testcamera::Register();
  if (strova_init(1) != 1 || !sender_engine.Load()) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }
  const LoopBuilder engine{"engine", StartEngineLoop, StopEngineLoop};
  const LoopBuilder parsed{"parse_launch", StartParsedLoop, StopParsedLoop};
  std::printf("stream-out -> stream preview over 127.0.0.1, %dx%d at %d/s\n", kWidth, kHeight, kFramerate);
  // Alternating order evens out the warm-up of the shared cores.
  Figures runs[4];
  const LoopBuilder* order[4] = {&engine, &parsed, &parsed, &engine};
  for (int run = 0; run < 4; ++run) {
    if (!Measure(*order[run], window.id(), runs[run])) return 1;
  }
  const double cpu_ratio =
      (runs[0].cpu_ms_per_frame + runs[3].cpu_ms_per_frame) / (runs[1].cpu_ms_per_frame + runs[2].cpu_ms_per_frame);
  const double latency_ratio = (runs[0].latency_ms + runs[3].latency_ms) / (runs[1].latency_ms + runs[2].latency_ms);
  std::printf("engine / parse_launch: CPU per frame %.2f, latency %.2f\n", cpu_ratio, latency_ratio);
  strova_release();
  return 0;
}
