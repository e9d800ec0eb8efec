// TcpSocket's system calls on Windows Sockets 2. Called from whichever
// thread uses the socket; the only state is the process-wide Winsock
// start-up, made while the program loads.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/tcp_socket.h"

namespace platform {
namespace {

// Winsock stays started for the life of the process (name resolution needs it too).
const bool winsock_started = [] {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

timeval ToTimeval(int timeout_ms) {
  timeval limit;
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = (timeout_ms % 1000) * 1000;
  return limit;
}

bool SetNonBlocking(SOCKET s, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(s, FIONBIO, &mode) == 0;
}

// Finishes a non-blocking connect within the time limit; a refusal shows in
// the exception set.
bool CompleteConnect(SOCKET s, const sockaddr_in& address, int timeout_ms) {
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval limit = ToTimeval(timeout_ms);
  if (select(0, nullptr, &writable, &failed, &limit) <= 0 || FD_ISSET(s, &failed)) return false;
  int error = 0;
  int length = sizeof error;
  return getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
}

}  // namespace

TcpSocket::Handle TcpSocket::OpenConnection(uint32_t ipv4, uint16_t port, int timeout_ms) {
  if (!winsock_started) return kNoHandle;
  const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kNoHandle;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(ipv4);
  // Blocking again once connected: a send then writes everything it is given.
  if (SetNonBlocking(s, true) && CompleteConnect(s, address, timeout_ms) && SetNonBlocking(s, false)) {
    return static_cast<Handle>(s);
  }
  closesocket(s);
  return kNoHandle;
}

long TcpSocket::SendSome(Handle handle, const char* data, size_t size) {
  return send(AsSocket(handle), data, size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size), 0);
}

TcpSocket::IoStatus TcpSocket::ReceiveOn(Handle handle, char* buffer, size_t capacity, int timeout_ms,
                                         size_t& received) {
  const SOCKET s = AsSocket(handle);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit = ToTimeval(timeout_ms);
  const int ready = select(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
  if (ready == 0) return IoStatus::TimedOut;
  if (ready < 0) return IoStatus::Lost;
  const int chunk = capacity > 0x7fffffff ? 0x7fffffff : static_cast<int>(capacity);
  const int got = recv(s, buffer, chunk, 0);
  if (got > 0) {
    received = static_cast<size_t>(got);
    return IoStatus::Done;
  }
  return IoStatus::Lost;  // 0: the peer closed; else the connection failed
}

void TcpSocket::ShutdownSocketHandle(Handle handle) { shutdown(AsSocket(handle), SD_BOTH); }

void TcpSocket::CloseSocketHandle(Handle handle) { closesocket(AsSocket(handle)); }

}  // namespace platform
