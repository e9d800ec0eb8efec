// The few socket calls the tests' own loopback peers need, the same on POSIX
// and on Windows Sockets (started here once per process). Used on the
// calling test's thread.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstddef>

namespace testsupport {

#ifdef _WIN32
using TestSocket = SOCKET;
inline constexpr TestSocket kNoSocket = INVALID_SOCKET;
inline constexpr int kNoSignal = 0;
#else
using TestSocket = int;
inline constexpr TestSocket kNoSocket = -1;
inline constexpr int kNoSignal = MSG_NOSIGNAL;
#endif

// A socket not inherited by child processes; non-blocking on request.
inline TestSocket OpenTestSocket(int family, int type, bool non_blocking = false) {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return kNoSocket;
  const TestSocket s = WSASocketW(family, type, 0, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  u_long mode = non_blocking ? 1 : 0;
  if (s != kNoSocket) ioctlsocket(s, FIONBIO, &mode);
  return s;
#else
  return socket(family, type | SOCK_CLOEXEC | (non_blocking ? SOCK_NONBLOCK : 0), 0);
#endif
}

inline void CloseTestSocket(TestSocket s) {
#ifdef _WIN32
  closesocket(s);
#else
  close(s);
#endif
}

// Waits for `events` (POLLIN, POLLOUT) on one socket: >0 ready, 0 time-out.
inline int PollTestSocket(TestSocket s, short events, int timeout_ms) {
  pollfd entry{s, events, 0};
#ifdef _WIN32
  return WSAPoll(&entry, 1, timeout_ms);
#else
  return poll(&entry, 1, timeout_ms);
#endif
}

}  // namespace testsupport
