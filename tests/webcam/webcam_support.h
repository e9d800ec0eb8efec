// Test support for vantrel-camera: a private PipeWire daemon (pipewire and
// WirePlumber inside dbus-run-session, in a runtime folder of its own), the
// program run as a child process, and a pipewiresrc consumer.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

namespace webcamtest {

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A child process in a process group of its own, stdout and stderr to `log`;
// the whole group is killed when the object goes.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& log) {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // gone with a test that dies or times out
      FILE* out = std::freopen(log.c_str(), "w", stdout);
      if (out) dup2(fileno(stdout), STDERR_FILENO);
      std::vector<char*> args = testsupport::ExecArgv(argv);
      execvp(args[0], args.data());
      _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
  }
  ~Child() { Stop(SIGKILL); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The exit code once the child has ended within `limit`, else -1.
  int Wait(std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // SIGTERM to the child's group; its exit code once it ended within 5 s, else -1.
  int Terminate() {
    kill(-pid_, SIGTERM);
    return Wait(std::chrono::seconds(5));
  }
  // Ends the child and everything it started.
  void Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return;
    kill(-pid_, signal);
    if (Wait(std::chrono::seconds(5)) < 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// pipewire + wireplumber in a private XDG_RUNTIME_DIR, which this process then
// uses too (its children inherit it).
class PipeWireDaemon {
 public:
  PipeWireDaemon() {
    char folder[] = "/tmp/vantrel-pw-XXXXXX";
    runtime_ = mkdtemp(folder);
    chmod(runtime_.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("XDG_STATE_HOME", runtime_.c_str(), 1);  // WirePlumber keeps its state there
    unsetenv("PIPEWIRE_REMOTE");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    // The group also ends itself once this test process has gone, however it went.
    const std::string watch = "while kill -0 " + std::to_string(getpid()) + " 2>/dev/null; do sleep 0.5; done; kill 0";
    daemon_ = std::make_unique<Child>(
        std::vector<std::string>{"dbus-run-session", "--", "sh", "-c", "pipewire & sleep 0.3; wireplumber & " + watch},
        runtime_ + "/daemon.log");
    ready_ = WaitUntil([&] { return access((runtime_ + "/pipewire-0").c_str(), F_OK) == 0; }, std::chrono::seconds(10));
  }
  ~PipeWireDaemon() {
    daemon_.reset();
    std::system(("rm -rf '" + runtime_ + "'").c_str());
  }
  bool Ready() const { return ready_; }
  const std::string& Runtime() const { return runtime_; }
  std::string Log() const { return ReadFile(runtime_ + "/daemon.log"); }

 private:
  std::string runtime_;
  std::unique_ptr<Child> daemon_;
  bool ready_ = false;
};

inline std::string Run(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[512];
    while (fgets(line, sizeof line, pipe)) output += line;
    pclose(pipe);
  }
  return output;
}

// One frame as the consumer got it.
struct Seen {
  int width = 0, height = 0;
  std::vector<uint8_t> nv12;  // tightly packed
  int Y(int x, int y) const { return nv12[size_t(y) * width + x]; }
  int U(int x, int y) const { return nv12[size_t(width) * height + size_t(y / 2) * width + (x & ~1)]; }
  int V(int x, int y) const { return nv12[size_t(width) * height + size_t(y / 2) * width + (x & ~1) + 1]; }
};

// pipewiresrc linked to the node "vantrel-camera", into an appsink that keeps
// only the newest frame.
class Consumer {
 public:
  Consumer() {
    pipeline_ = gst_parse_launch(
        "pipewiresrc target-object=vantrel-camera ! video/x-raw,format=NV12 ! "
        "appsink name=out sync=false max-buffers=1 drop=true",
        nullptr);
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~Consumer() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(sink_);
    gst_object_unref(pipeline_);
  }
  // The next frame, within `limit`; empty when none came.
  Seen Next(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    Seen seen;
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), limit.count() * GST_MSECOND);
    if (!sample) return seen;
    GstVideoInfo info;
    GstVideoFrame frame;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
      seen.width = GST_VIDEO_INFO_WIDTH(&info);
      seen.height = GST_VIDEO_INFO_HEIGHT(&info);
      for (int plane = 0; plane < 2; ++plane) {
        const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
        for (int row = 0; row < (plane ? seen.height / 2 : seen.height); ++row) {
          seen.nv12.insert(seen.nv12.end(), data + size_t(row) * stride, data + size_t(row) * stride + seen.width);
        }
      }
      gst_video_frame_unmap(&frame);
    }
    gst_sample_unref(sample);
    return seen;
  }
  // Frames until one satisfies `want`, within `limit`.
  Seen Until(const std::function<bool(const Seen&)>& want, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    Seen seen;
    while (std::chrono::steady_clock::now() < end) {
      seen = Next(std::chrono::milliseconds(500));
      if (seen.width && want(seen)) return seen;
    }
    return seen;
  }

 private:
  GstElement* pipeline_;
  GstElement* sink_;
};

}  // namespace webcamtest
