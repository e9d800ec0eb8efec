// An IPv4 TCP client connection of the operating system's sockets: connect
// with a time limit, write in one piece, receive with a time limit, and a
// disconnect that any thread may make while another thread is blocked in a
// send or receive (the socket is shut down at once and closed by that thread
// once it is out). One thread at a time sends and receives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// The IPv4 address (host byte order) of a host name, through the system's
// name resolution; nullopt when it has none.
std::optional<uint32_t> ResolveIPv4(const std::string& host_name);

class TcpSocket {
 public:
  enum class IoStatus {
    Done,          // sent in full, or bytes received
    TimedOut,      // nothing arrived within the time limit
    Disconnected,  // this side disconnected (before or during the call)
    Lost,          // the peer closed the connection or it failed; the socket is closed now
  };

  TcpSocket();
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects to `ipv4` (host byte order) : `port`. Returns when the connection
  // is established (true) or was refused, failed, or did not complete within
  // `timeout_ms` (false; nothing is kept open). False while already open.
  bool Connect(uint32_t ipv4, uint16_t port, int timeout_ms);

  // Writes all bytes with one send request.
  IoStatus Send(const void* data, size_t size);

  // Waits at most `timeout_ms` (negative: without limit) for bytes and stores
  // up to `capacity` of them; `received` is their count (0 unless Done).
  IoStatus Receive(char* buffer, size_t capacity, int timeout_ms, size_t& received);

  // Ends the connection: true when it found the socket held (it is closed
  // now, or as soon as a call in progress has returned), false when there
  // was nothing to close.
  bool Disconnect();

  // From a successful connect until Disconnect, or until a send or receive
  // noticed that the connection was lost. Never touches the connection itself.
  bool IsOpen() const;

 private:
  using Handle = intptr_t;
  static constexpr Handle kNoHandle = -1;

  Handle Acquire();
  IoStatus Release(Handle handle, IoStatus status);
  void CloseWhenUnused();  // mutex_ held

  // The system's side (tcp_socket_<system>.cpp).
  static Handle OpenConnection(uint32_t ipv4, uint16_t port, int timeout_ms);
  // Bytes written (>0), or <= 0 when the connection failed.
  static long SendSome(Handle handle, const char* data, size_t size);
  static IoStatus ReceiveOn(Handle handle, char* buffer, size_t capacity, int timeout_ms, size_t& received);
  static void ShutdownSocketHandle(Handle handle);
  static void CloseSocketHandle(Handle handle);

  mutable std::mutex mutex_;
  Handle handle_ = kNoHandle;  // the connection's handle while open
  Handle in_use_ = kNoHandle;  // the handle a send or receive is using now
  bool open_ = false;
};

}  // namespace platform
