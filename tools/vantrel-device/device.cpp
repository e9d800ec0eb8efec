// Poll loop of the demo device: announcer, listener and control session.
#include "tools/vantrel-device/device.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "tools/vantrel-device/net.h"
#include "tools/vantrel-device/video_stream.h"
#include "tools/vantrel-device/wire.h"

namespace device {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kAnnounceInterval(1000);
constexpr milliseconds kLoginTimeout(10000);
constexpr milliseconds kDrainTimeout(2000);
constexpr milliseconds kErrorCheckInterval(250);

// Every line goes out at once so that scripts reading the output see it.
void Say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

enum class Phase { AwaitingLogin, LoggedIn, Refused };

struct Session {
  Fd fd;
  in_addr peer{};
  std::string received;
  Phase phase = Phase::AwaitingLogin;
  Clock::time_point deadline;  // AwaitingLogin, Refused: when the connection is given up
  size_t next_reply = 0;
  Clock::time_point next_reply_at;
};

class Device {
 public:
  explicit Device(const DeviceOptions& options) : options_(options) {}
  int Run(int stop_fd);

 private:
  void Accept(int listener);
  void OnReadable();
  void OnLoginLine(const std::string& line);
  void Refuse(const std::string& why);
  void OnTime(Clock::time_point now);
  void EndSession(const std::string& why);
  Clock::time_point NextEvent(Clock::time_point next_announce) const;

  const DeviceOptions& options_;
  VideoStream stream_;
  std::optional<Session> session_;
  bool session_ended_ = false;
};

void Device::Accept(int listener) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  Fd fd(accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
  if (!fd.Valid()) return;
  Say("connection from " + AddressText(peer.sin_addr) + ":" + std::to_string(ntohs(peer.sin_port)));
  session_.emplace();
  session_->fd = std::move(fd);
  session_->peer = peer.sin_addr;
  session_->deadline = Clock::now() + kLoginTimeout;
}

void Device::OnReadable() {
  char bytes[4096];
  const ssize_t got = recv(session_->fd.Get(), bytes, sizeof bytes, 0);
  if (got <= 0) {
    EndSession(got == 0 ? "connection closed by the client" : "connection failed");
    return;
  }
  if (session_->phase != Phase::AwaitingLogin) return;  // later bytes mean nothing to the device
  session_->received.append(bytes, static_cast<size_t>(got));
  if (auto line = TakeLine(session_->received)) {
    OnLoginLine(*line);
  } else if (session_->received.size() > kMaxLoginLine) {
    Refuse("login line too long");
  }
}

void Device::OnLoginLine(const std::string& line) {
  Say("login line \"" + Printable(line) + "\"");
  if (options_.close_abruptly) {
    EndSession("closing abruptly after the login line");
    return;
  }
  const auto login = ParseLoginLine(line);
  if (!login) {
    Refuse("malformed login line");
    return;
  }
  if (login->pin != options_.pin) {
    Refuse("wrong PIN");
    return;
  }
  Say("login accepted: station \"" + Printable(login->name) + "\"");
  session_->phase = Phase::LoggedIn;
  session_->next_reply_at = Clock::now();
  if (options_.replies.empty()) Say("staying silent");
  std::string error;
  if (stream_.Start(session_->peer, options_.video_port, options_.width, options_.height, error)) {
    Say("streaming started: " + std::to_string(options_.width) + "x" + std::to_string(options_.height) + " to " +
        AddressText(session_->peer) + ":" + std::to_string(options_.video_port));
  } else {
    Say("streaming not started: " + error);
  }
}

void Device::Refuse(const std::string& why) {
  Say("login refused (" + why + "): sending \"" + Printable(options_.refuse_text) + "\"");
  SendAll(session_->fd.Get(), options_.refuse_text + "\n");
  // Our side is done; the client reads the line and then closes.
  shutdown(session_->fd.Get(), SHUT_WR);
  session_->phase = Phase::Refused;
  session_->deadline = Clock::now() + kDrainTimeout;
}

void Device::OnTime(Clock::time_point now) {
  if (auto error = stream_.TakeError()) {
    stream_.Stop();
    Say("streaming stopped: " + *error);
  }
  if (session_->phase != Phase::LoggedIn) {
    if (now >= session_->deadline)
      EndSession(session_->phase == Phase::AwaitingLogin ? "no login line in time" : "refused client did not close");
    return;
  }
  if (session_->next_reply >= options_.replies.size() || now < session_->next_reply_at) return;
  const std::string& reply = options_.replies[session_->next_reply++];
  Say("reply \"" + Printable(reply) + "\"");
  if (!SendAll(session_->fd.Get(), reply)) {
    EndSession("connection failed");
    return;
  }
  session_->next_reply_at = now + milliseconds(options_.reply_interval_ms);
}

void Device::EndSession(const std::string& why) {
  if (stream_.Running()) {
    stream_.Stop();
    Say("streaming stopped");
  }
  session_.reset();
  session_ended_ = true;
  Say("connection ended: " + why);
}

Clock::time_point Device::NextEvent(Clock::time_point next_announce) const {
  Clock::time_point next = next_announce;
  if (stream_.Running()) next = std::min(next, Clock::now() + kErrorCheckInterval);
  if (!session_) return next;
  if (session_->phase != Phase::LoggedIn) return std::min(next, session_->deadline);
  if (session_->next_reply < options_.replies.size()) next = std::min(next, session_->next_reply_at);
  return next;
}

int Device::Run(int stop_fd) {
  std::string error;
  uint16_t control_port = 0;
  Fd listener = ListenOnLoopback(options_.control_port, control_port, error);
  if (!listener.Valid()) {
    std::fprintf(stderr, "vantrel-device: cannot listen on 127.0.0.1:%u: %s\n", options_.control_port, error.c_str());
    return 1;
  }
  Fd announcer(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!announcer.Valid()) {
    std::perror("vantrel-device: announcement socket");
    return 1;
  }
  const std::string announcement = AnnouncementText(options_.name);
  Say("PIN " + options_.pin);
  Say("listening on 127.0.0.1:" + std::to_string(control_port));
  Say("announcing \"" + announcement + "\" to 127.0.0.1:" + std::to_string(options_.announce_port) + " every second");

  const Clock::time_point start = Clock::now();
  const std::optional<Clock::time_point> end_of_life =
      options_.lifetime_s > 0 ? std::optional(start + std::chrono::seconds(options_.lifetime_s)) : std::nullopt;
  Clock::time_point next_announce = start;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= next_announce) {
      SendDatagramToLoopback(announcer.Get(), options_.announce_port, announcement);
      next_announce = std::max(next_announce + kAnnounceInterval, now);
    }
    if (session_) OnTime(now);
    if (options_.once && session_ended_) break;
    if (end_of_life && now >= *end_of_life) {
      Say("lifetime over");
      break;
    }
    Clock::time_point wake = NextEvent(next_announce);
    if (end_of_life) wake = std::min(wake, *end_of_life);
    const auto wait = std::chrono::ceil<milliseconds>(wake - Clock::now()).count();

    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {session_ ? session_->fd.Get() : listener.Get(), POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(std::clamp<long long>(wait, 0, 1000))) < 0) continue;
    if (fds[0].revents) {
      Say("stop requested");
      break;
    }
    if (!fds[1].revents) continue;
    if (session_)
      OnReadable();
    else
      Accept(listener.Get());
  }
  if (session_) EndSession("device stopping");
  Say("stopped");
  return 0;
}

}  // namespace

int RunDevice(const DeviceOptions& options, int stop_fd) { return Device(options).Run(stop_fd); }

}  // namespace device
