// TcpSocket's bookkeeping, common to every system: which handle is open, who
// is using it, and when a disconnected handle may finally be closed; and the
// IPv4 name resolution. The socket calls themselves are in
// tcp_socket_posix.cpp / tcp_socket_win32.cpp.
#include "platform/tcp_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/winsock_win32.h"
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace platform {

std::optional<uint32_t> ResolveIPv4(const std::string& host_name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
#ifdef _WIN32
  if (!StartWinsock()) return std::nullopt;
#endif
  if (host_name.empty() || getaddrinfo(host_name.c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  std::optional<uint32_t> address;
  if (found) {
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
  }
  return address;
}

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket() {
  std::lock_guard lock(mutex_);
  if (handle_ != kNoHandle) CloseSocketHandle(handle_);
}

bool TcpSocket::Connect(uint32_t ipv4, uint16_t port, int timeout_ms) {
  {
    std::lock_guard lock(mutex_);
    if (open_) return false;
  }
  const Handle handle = OpenConnection(ipv4, port, timeout_ms);
  if (handle == kNoHandle) return false;
  std::lock_guard lock(mutex_);
  handle_ = handle;
  open_ = true;
  return true;
}

TcpSocket::Handle TcpSocket::Acquire() {
  std::lock_guard lock(mutex_);
  if (!open_) return kNoHandle;
  in_use_ = handle_;
  return handle_;
}

TcpSocket::IoStatus TcpSocket::Release(Handle handle, IoStatus status) {
  std::lock_guard lock(mutex_);
  in_use_ = kNoHandle;
  if (handle != handle_) {
    // Disconnected while in use (maybe connected anew since): the user
    // closes the handle it held.
    CloseSocketHandle(handle);
    return IoStatus::Disconnected;
  }
  if (status == IoStatus::Lost) {
    open_ = false;
    CloseWhenUnused();
  }
  return status;
}

void TcpSocket::CloseWhenUnused() {
  // The shutdown wakes a user blocked on the handle; that user closes it.
  ShutdownSocketHandle(handle_);
  if (in_use_ != handle_) CloseSocketHandle(handle_);
  handle_ = kNoHandle;
}

TcpSocket::IoStatus TcpSocket::Send(const void* data, size_t size) {
  const Handle handle = Acquire();
  if (handle == kNoHandle) return IoStatus::Disconnected;
  IoStatus status = IoStatus::Done;
  // One request; a blocking socket takes it whole, the loop only covers
  // what a system call may leave over.
  for (const char* next = static_cast<const char*>(data); size > 0;) {
    const long sent = SendSome(handle, next, size);
    if (sent <= 0) {
      status = IoStatus::Lost;
      break;
    }
    next += sent;
    size -= static_cast<size_t>(sent);
  }
  return Release(handle, status);
}

TcpSocket::IoStatus TcpSocket::Receive(char* buffer, size_t capacity, int timeout_ms, size_t& received) {
  received = 0;
  const Handle handle = Acquire();
  if (handle == kNoHandle) return IoStatus::Disconnected;
  const IoStatus status = Release(handle, ReceiveOn(handle, buffer, capacity, timeout_ms, received));
  if (status != IoStatus::Done) received = 0;
  return status;
}

bool TcpSocket::Disconnect() {
  std::lock_guard lock(mutex_);
  if (!open_) return false;
  open_ = false;
  CloseWhenUnused();
  return true;
}

bool TcpSocket::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace platform
