// TcpSocket's system calls on POSIX sockets.
// Called from whichever thread uses the socket; keeps no state of its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/tcp_socket.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// poll() on one descriptor until `events` or the deadline; interrupted waits
// resume with the time left. Returns the revents, 0 on time-out, -1 on failure.
int PollUntil(int fd, short events, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, wait_ms);
    if (ready > 0) return entry.revents;
    if (ready == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

bool SetNonBlocking(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// Finishes a non-blocking connect within the time limit.
bool CompleteConnect(int fd, const sockaddr_in& address, int timeout_ms) {
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS && errno != EINTR) return false;
  if (PollUntil(fd, POLLOUT, timeout_ms) <= 0) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

TcpSocket::Handle TcpSocket::OpenConnection(uint32_t ipv4, uint16_t port, int timeout_ms) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoHandle;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(ipv4);
  // Blocking again once connected: a send then writes everything it is given.
  if (SetNonBlocking(fd, true) && CompleteConnect(fd, address, timeout_ms) && SetNonBlocking(fd, false)) {
    return fd;
  }
  close(fd);
  return kNoHandle;
}

long TcpSocket::SendSome(Handle handle, const char* data, size_t size) {
  ssize_t sent;
  do {
    sent = send(static_cast<int>(handle), data, size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

TcpSocket::IoStatus TcpSocket::ReceiveOn(Handle handle, char* buffer, size_t capacity, int timeout_ms,
                                         size_t& received) {
  const int fd = static_cast<int>(handle);
  const int ready = PollUntil(fd, POLLIN, timeout_ms);
  if (ready == 0) return IoStatus::TimedOut;
  if (ready < 0) return IoStatus::Lost;
  ssize_t got;
  do {
    got = recv(fd, buffer, capacity, MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    received = static_cast<size_t>(got);
    return IoStatus::Done;
  }
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return IoStatus::TimedOut;
  return IoStatus::Lost;  // 0: the peer closed; else the connection failed
}

void TcpSocket::ShutdownSocketHandle(Handle handle) { shutdown(static_cast<int>(handle), SHUT_RDWR); }

void TcpSocket::CloseSocketHandle(Handle handle) { close(static_cast<int>(handle)); }

}  // namespace platform
