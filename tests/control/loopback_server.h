// A scripted device side for control-connection tests: a TCP listener on
// 127.0.0.1 that accepts one client at a time, collects what it sends, and
// sends, stays silent or closes as the test says. Also a listener that
// answers nobody: its backlog is full, so new connection attempts hang.
// Used on the test's own thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/test_sockets.h"

namespace testsupport {

inline sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

class LoopbackServer {
 public:
  // port 0: a free ephemeral port.
  explicit LoopbackServer(uint16_t port = 0, int backlog = 8) {
    listener_ = OpenTestSocket(AF_INET, SOCK_STREAM);
#ifndef _WIN32
    const int on = 1;  // (on Windows this would let another socket take the port as well)
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in address = LoopbackAddress(port);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, backlog) != 0) {
      CloseTestSocket(listener_);
      listener_ = kNoSocket;
      return;
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() {
    CloseConnection();
    if (listener_ != kNoSocket) CloseTestSocket(listener_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool listening() const { return listener_ != kNoSocket; }
  uint16_t port() const { return port_; }
  TestSocket listener() const { return listener_; }

  // Takes the next client (dropping an earlier one); false when none came in time.
  bool Accept(int timeout_ms = 5000) {
    CloseConnection();
    if (PollTestSocket(listener_, POLLIN, timeout_ms) <= 0) return false;
    connection_ = accept(listener_, nullptr, nullptr);
    received_.clear();
    return connection_ != kNoSocket;
  }

  bool Send(const std::string& bytes) {
    return connection_ != kNoSocket &&
           send(connection_, bytes.data(), static_cast<int>(bytes.size()), kNoSignal) == static_cast<int>(bytes.size());
  }

  // Everything the client has sent so far, waiting until it holds at least
  // `count` bytes or `timeout_ms` has passed.
  const std::string& Received(size_t count, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (received_.size() < count && !peer_closed_) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !ReadOnce(static_cast<int>(left))) break;
    }
    return received_;
  }

  // Waits until the client has closed its side; false on time-out.
  bool PeerClosed(int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!peer_closed_) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !ReadOnce(static_cast<int>(left))) break;
    }
    return peer_closed_;
  }

#ifndef _WIN32
  // For the window-level hostile-device tests, which run where the window does.
  // Sends as much of `bytes` as the client takes within `timeout_ms`
  // (a client that stops reading fills the connection); the bytes sent.
  size_t SendFor(const std::string& bytes, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t sent = 0;
    while (connection_ != kNoSocket && sent < bytes.size()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd entry{connection_, POLLOUT, 0};
      if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0) break;
      const ssize_t n = send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN) break;
      if (n > 0) sent += static_cast<size_t>(n);
    }
    return sent;
  }

  // Ends the connection with a reset instead of an orderly close.
  void ResetConnection() {
    if (connection_ == kNoSocket) return;
    const linger abort_on_close{1, 0};
    setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    CloseConnection();
  }

  // Closes the sending side only: the client reads the end of the stream,
  // and may still send.
  void HalfClose() {
    if (connection_ != kNoSocket) shutdown(connection_, SHUT_WR);
  }
#endif

  void CloseConnection() {
    if (connection_ != kNoSocket) CloseTestSocket(connection_);
    connection_ = kNoSocket;
    peer_closed_ = false;
  }

 private:
  // One wait for bytes or the end; false on time-out.
  bool ReadOnce(int timeout_ms) {
    if (connection_ == kNoSocket) return false;
    if (PollTestSocket(connection_, POLLIN, timeout_ms) <= 0) return false;
    char buffer[4096];
    const auto got = recv(connection_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      peer_closed_ = true;
    } else {
      received_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

  TestSocket listener_ = kNoSocket;
  TestSocket connection_ = kNoSocket;
  uint16_t port_ = 0;
  bool peer_closed_ = false;
  std::string received_;
};

// A listener on a free loopback port that answers no new connection attempt:
// its backlog (of 0) is filled with connections nobody accepts, so the
// system drops further attempts and they hang until the client gives up.
class UnansweringListener {
 public:
  UnansweringListener() : server_(0, 0) {
    // Fill the queue until an attempt no longer completes.
    for (int i = 0; i < 16; ++i) {
      const TestSocket filler = OpenTestSocket(AF_INET, SOCK_STREAM, true);
      fillers_.push_back(filler);
      sockaddr_in address = LoopbackAddress(server_.port());
      // Non-blocking: the attempt is in progress at best, and the poll tells.
      (void)connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
      if (PollTestSocket(filler, POLLOUT, 300) == 0) {
        full_ = true;
        break;
      }
    }
  }
  ~UnansweringListener() {
    for (TestSocket filler : fillers_) CloseTestSocket(filler);
  }
  UnansweringListener(const UnansweringListener&) = delete;
  UnansweringListener& operator=(const UnansweringListener&) = delete;

  // The backlog is full: new attempts hang.
  bool full() const { return full_; }
  uint16_t port() const { return server_.port(); }

 private:
  LoopbackServer server_;
  std::vector<TestSocket> fillers_;
  bool full_ = false;
};

// A loopback port that nothing listens on (taken from the system, then freed).
inline uint16_t UnusedLoopbackPort() {
  LoopbackServer probe;
  return probe.port();
}

}  // namespace testsupport
