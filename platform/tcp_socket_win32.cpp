// TcpSocket's system calls on Windows Sockets 2. Called from whichever
// thread uses the socket, and ShutdownSocketHandle from the disconnecting
// thread. A handle is a SocketWithEvents: the socket, the event its network
// events (read, write, close) set, and the event a disconnect sets. Every wait
// watches both, since a shutdown does not wake a wait on Windows (only a
// close would, and the socket is closed only once its user has left).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

#include "platform/tcp_socket.h"
#include "platform/winsock_win32.h"

namespace platform {
namespace {

using Connection = SocketWithEvents;

Connection& Of(intptr_t handle) { return *reinterpret_cast<Connection*>(handle); }

timeval ToTimeval(int timeout_ms) {
  timeval limit;
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = (timeout_ms % 1000) * 1000;
  return limit;
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

enum class Wait { Activity, Disconnected, TimedOut, Failed };

// Waits for a network event of the connection or its disconnect, at most
// until `deadline` (GetTickCount64 time; 0: no limit). Resets the network
// event; the socket records a new event for whatever is still pending once
// the next send or receive call has been made.
Wait WaitOn(Connection& connection, ULONGLONG deadline) {
  DWORD wait_ms = WSA_INFINITE;
  if (deadline != 0) {
    const ULONGLONG now = GetTickCount64();
    wait_ms = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  }
  const WSAEVENT watched[2] = {connection.wake, connection.network};
  const DWORD ready = WSAWaitForMultipleEvents(2, watched, FALSE, wait_ms, FALSE);
  if (ready == WSA_WAIT_EVENT_0) return Wait::Disconnected;
  if (ready == WSA_WAIT_TIMEOUT) return Wait::TimedOut;
  if (ready != WSA_WAIT_EVENT_0 + 1) return Wait::Failed;
  WSANETWORKEVENTS events;
  return WSAEnumNetworkEvents(connection.socket, connection.network, &events) == 0 ? Wait::Activity : Wait::Failed;
}

int ChunkOf(size_t size) { return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size); }

}  // namespace

TcpSocket::Handle TcpSocket::OpenConnection(uint32_t ipv4, uint16_t port, int timeout_ms) {
  if (!StartWinsock()) return kNoHandle;
  auto* connection = new Connection;
  connection->socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(ipv4);
  u_long non_blocking = 1;
  // The socket stays non-blocking: sends and receives wait on the events.
  if (connection->socket != INVALID_SOCKET && ioctlsocket(connection->socket, FIONBIO, &non_blocking) == 0 &&
      CompleteConnect(connection->socket, address, timeout_ms) &&
      (connection->network = WSACreateEvent()) != WSA_INVALID_EVENT &&
      (connection->wake = WSACreateEvent()) != WSA_INVALID_EVENT &&
      WSAEventSelect(connection->socket, connection->network, FD_READ | FD_WRITE | FD_CLOSE) == 0) {
    return reinterpret_cast<Handle>(connection);
  }
  delete connection;
  return kNoHandle;
}

long TcpSocket::SendSome(Handle handle, const char* data, size_t size) {
  Connection& connection = Of(handle);
  for (;;) {
    const int sent = send(connection.socket, data, ChunkOf(size), 0);
    if (sent != SOCKET_ERROR) return sent;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    // The send buffer is full: FD_WRITE comes when it has room again.
    if (WaitOn(connection, 0) != Wait::Activity) return -1;
  }
}

TcpSocket::IoStatus TcpSocket::ReceiveOn(Handle handle, char* buffer, size_t capacity, int timeout_ms,
                                         size_t& received) {
  Connection& connection = Of(handle);
  const ULONGLONG deadline = timeout_ms < 0 ? 0 : GetTickCount64() + static_cast<ULONGLONG>(timeout_ms) + 1;
  for (;;) {
    const int got = recv(connection.socket, buffer, ChunkOf(capacity), 0);
    if (got > 0) {
      received = static_cast<size_t>(got);
      return IoStatus::Done;
    }
    if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return IoStatus::Lost;  // the peer closed, or failed
    switch (WaitOn(connection, deadline)) {
      case Wait::Activity:
        continue;
      case Wait::Disconnected:
        return IoStatus::Disconnected;
      case Wait::TimedOut:
        return IoStatus::TimedOut;
      case Wait::Failed:
        return IoStatus::Lost;
    }
  }
}

void TcpSocket::ShutdownSocketHandle(Handle handle) {
  Connection& connection = Of(handle);
  shutdown(connection.socket, SD_BOTH);
  WSASetEvent(connection.wake);
}

void TcpSocket::CloseSocketHandle(Handle handle) { delete &Of(handle); }

}  // namespace platform
