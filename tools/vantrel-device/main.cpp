// Entry of vantrel-device, a camera device played on loopback for demos and
// tests. Parses the command line, picks the PIN, turns SIGINT and SIGTERM
// into a readable descriptor and runs the device on the main thread.
#include <gst/gst.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "tools/vantrel-device/device.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  device::ParsedOptions parsed = device::ParseDeviceOptions(args);
  if (parsed.help) {
    std::fputs(device::UsageText().c_str(), stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "vantrel-device: %s\n%s", parsed.error.c_str(), device::UsageText().c_str());
    return 2;
  }
  device::DeviceOptions& options = *parsed.options;
  if (options.pin.empty()) {
    std::random_device entropy;
    char pin[5];
    std::snprintf(pin, sizeof pin, "%04u", std::uniform_int_distribution<unsigned>(0, 9999)(entropy));
    options.pin = pin;
  }

  // Blocked before GStreamer makes any thread, so every thread inherits the mask
  // and the signals arrive only through the descriptor.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  const int stop_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (stop_fd < 0) {
    std::perror("vantrel-device: signalfd");
    return 1;
  }

  gst_init(nullptr, nullptr);
  const int status = device::RunDevice(options, stop_fd);
  gst_deinit();
  close(stop_fd);
  return status;
}
