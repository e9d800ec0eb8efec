// Windows Sockets for the platform layer's sockets: the process-wide start-up,
// the errors thrown for failed socket calls, and the socket with the two
// events its waits watch. Any thread.
#pragma once

#include <winsock2.h>

#include <string>
#include <system_error>

namespace platform {

// Starts Windows Sockets 2.2 once for the process (it stays started until
// the process ends); false when that failed.
bool StartWinsock();

// Winsock error codes (WSAGetLastError) as std::error_code: the message is
// the system's text for the code, and the codes a socket meets compare equal
// to their portable conditions (std::errc::address_in_use for WSAEADDRINUSE,
// and so on), as errno codes do on POSIX. (MinGW's runtime has no text for
// those errno values, so generic_category would only say "Unknown error".)
const std::error_category& WinsockCategory();

// The exception for a failed socket call: `what` names what was being done.
std::system_error WinsockError(int code, const std::string& what);

// A socket and the events a wait on it watches: `network`, which the
// socket's network events set (WSAEventSelect), and `wake`, which another
// thread sets to end the wait. All three start invalid and are closed
// together. (The events are WSAEVENTs, which the headers define as HANDLE.)
struct SocketWithEvents {
  SOCKET socket;
  HANDLE network;
  HANDLE wake;

  SocketWithEvents();
  ~SocketWithEvents();
  SocketWithEvents(const SocketWithEvents&) = delete;
  SocketWithEvents& operator=(const SocketWithEvents&) = delete;
};

}  // namespace platform
