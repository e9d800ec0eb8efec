// The vantrel program on a private X display, run from a program folder of
// its own with the fake engine beside it: a demo device announcing itself to
// 127.0.0.1 appears in the running window, and a program that finds the
// announcement port taken ends through its error report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/udp_socket.h"
#include "tests/support/child_process.h"
#include "tests/support/xvfb.h"

namespace {

const std::string kBin = VANTREL_BIN_DIR;
const std::string kShots = std::string(VANTREL_BIN_DIR) + "../tests/";

// A program folder holding a copy of the client and the fake engine; the
// client's path.
std::string ClientWithFakeEngine() {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(kShots) / "discovery_program";
  fs::create_directories(folder);
  const auto overwrite = fs::copy_options::overwrite_existing;
  fs::copy_file(kBin + "vantrel", folder / "vantrel", overwrite);
  fs::copy_file(std::string(FAKE_ENGINE_DIR) + "libstrova.so", folder / "libstrova.so", overwrite);
  return (folder / "vantrel").string();
}

// Starts a program with the X display and the xcb platform.
pid_t Spawn(const std::vector<std::string>& args) {
  const pid_t child = fork();
  if (child == 0) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    std::vector<char*> argv = testsupport::ExecArgv(args);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

// The id of the first window whose title is exactly `title`; empty after 20 s.
std::string WaitForWindow(const std::string& title) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    const std::string found = Output("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
    if (!found.empty()) return found.substr(0, found.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

// Mean grey level (0 black .. 1 white) of a rectangle of a PNG.
double MeanGrey(const std::string& png, int x, int y, int width, int height) {
  const std::string geometry =
      std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
  return std::atof(
      Output("convert " + png + " -crop " + geometry + " -colorspace gray -format '%[fx:mean]' info:").c_str());
}

// Waits for a child's end; its exit code, or -1 when it did not end in time.
int WaitForExit(pid_t child, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return -1;
}

TEST(Program, DeviceAnnouncingOnLoopbackAppearsInTheRunningWindow) {
  testsupport::XvfbDisplay display;
  ASSERT_TRUE(display.ok());
  const pid_t client = Spawn({ClientWithFakeEngine()});
  const std::string window = WaitForWindow("VantrelForm");
  ASSERT_FALSE(window.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string before = kShots + "discovery_window_empty.png";
  ASSERT_TRUE(display.Screenshot(before, std::stoul(window)));

  const pid_t device =
      Spawn({kBin + "vantrel-device", "--name", "Porch Camera", "--control-port", "0", "--lifetime", "20"});
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::string after = kShots + "discovery_window_device.png";
  ASSERT_TRUE(display.Screenshot(after, std::stoul(window)));
  kill(device, SIGTERM);
  EXPECT_EQ(WaitForExit(device, 10), 0);

  // Device list at 144,95 (262 x 27) and address field at 144,139 (257 x 24)
  // in the window: blank before, holding dark text after; the connect button
  // at 136,258 (202 x 62) turns from its pale disabled look to full colour.
  EXPECT_GT(MeanGrey(before, 144, 95, 262, 27) - MeanGrey(after, 144, 95, 262, 27), 0.02);
  EXPECT_GT(MeanGrey(before, 144, 139, 257, 24) - MeanGrey(after, 144, 139, 257, 24), 0.02);
  EXPECT_GT(MeanGrey(before, 136, 258, 202, 62) - MeanGrey(after, 136, 258, 202, 62), 0.05);

  // The close picture ends the program normally.
  std::system(("xdotool mousemove --window " + window + " 429 27 click 1").c_str());
  EXPECT_EQ(WaitForExit(client, 20), 0);
}

TEST(Program, AnnouncementPortTakenEndsTheProgramThroughItsErrorReport) {
  testsupport::XvfbDisplay display;
  ASSERT_TRUE(display.ok());
  const auto holder = platform::UdpSocket::Bind(platform::IpFamily::IPv4, 51033);
  const pid_t client = Spawn({ClientWithFakeEngine()});
  const std::string report = WaitForWindow("Vantrel");
  ASSERT_FALSE(report.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(display.Screenshot(kShots + "discovery_port_taken.png", std::stoul(report)));
  std::system(("xdotool key --window " + report + " Return").c_str());
  EXPECT_EQ(WaitForExit(client, 20), 1);
}

}  // namespace
