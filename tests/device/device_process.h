// Test helpers for the demo device: the program run as a child process with
// its output read line by line, and small loopback socket helpers.
// Used on the test's main thread only.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"
#include "tools/vantrel-device/net.h"

namespace device_test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

class DeviceProcess {
 public:
  explicit DeviceProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    output_ = device::Fd(out[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> argv_text{VANTREL_BIN_DIR "vantrel-device"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv = testsupport::ExecArgv(argv_text);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
  }
  DeviceProcess(const DeviceProcess&) = delete;
  DeviceProcess& operator=(const DeviceProcess&) = delete;
  ~DeviceProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool Started() const { return pid_ > 0; }

  // The first line (seen before or arriving within the time) that begins with `prefix`.
  std::optional<std::string> WaitForLine(std::string_view prefix, milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (size_t seen = 0;; ++seen) {
      while (seen == lines_.size())
        if (!ReadMore(deadline)) return std::nullopt;
      if (lines_[seen].starts_with(prefix)) return lines_[seen];
    }
  }

  // Sends `signal` (unless 0) and waits for the exit; the exit status, or -1
  // when the process did not end normally within the time.
  int Exit(int signal, milliseconds timeout) {
    if (pid_ <= 0) return -1;
    if (signal) kill(pid_, signal);
    const Clock::time_point deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) return -1;
      ReadMore(Clock::now() + milliseconds(20));
    }
    pid_ = -1;
    while (ReadMore(Clock::now() + milliseconds(200))) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Reads what the program printed; false at the deadline or the end of its output.
  bool ReadMore(Clock::time_point deadline) {
    pollfd fd{output_.Get(), POLLIN, 0};
    if (poll(&fd, 1, RemainingMs(deadline)) <= 0) return false;
    char bytes[4096];
    const ssize_t got = read(output_.Get(), bytes, sizeof bytes);
    if (got <= 0) return false;
    partial_.append(bytes, static_cast<size_t>(got));
    for (size_t lf; (lf = partial_.find('\n')) != std::string::npos; partial_.erase(0, lf + 1))
      lines_.push_back(partial_.substr(0, lf));
    return true;
  }

  pid_t pid_ = -1;
  device::Fd output_;
  std::string partial_;
  std::vector<std::string> lines_;
};

// A UDP socket bound to a free port of 127.0.0.1.
inline device::Fd BindLoopbackUdp(uint16_t& port) {
  device::Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = device::LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return device::Fd();
  port = ntohs(address.sin_port);
  return fd;
}

struct Datagram {
  std::string payload;
  sockaddr_in sender{};
  timeval arrived{};  // when the system received it
};

inline std::optional<Datagram> ReceiveDatagram(int fd, milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  Datagram datagram;
  datagram.payload.resize(65536);
  socklen_t length = sizeof datagram.sender;
  const ssize_t got = recvfrom(fd, datagram.payload.data(), datagram.payload.size(), 0,
                               reinterpret_cast<sockaddr*>(&datagram.sender), &length);
  if (got < 0) return std::nullopt;
  datagram.payload.resize(static_cast<size_t>(got));
  ioctl(fd, SIOCGSTAMP, &datagram.arrived);
  return datagram;
}

inline device::Fd ConnectLoopback(uint16_t port) {
  device::Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = device::LoopbackAddress(port);
  if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return device::Fd();
  return fd;
}

struct Received {
  std::string bytes;
  bool closed = false;  // the device closed its side
};

// Everything the device sends within `window`, or until it closes.
inline Received ReceiveFor(int fd, milliseconds window) {
  Received received;
  const Clock::time_point deadline = Clock::now() + window;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, RemainingMs(deadline)) <= 0) return received;
    char bytes[4096];
    const ssize_t got = recv(fd, bytes, sizeof bytes, 0);
    if (got <= 0) {
      received.closed = true;
      return received;
    }
    received.bytes.append(bytes, static_cast<size_t>(got));
  }
}

}  // namespace device_test
