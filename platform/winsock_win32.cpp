// Windows Sockets start-up and error codes (see winsock_win32.h).
#include "platform/winsock_win32.h"

#include <winsock2.h>

#include <optional>

namespace platform {
namespace {

std::optional<std::errc> PortableCondition(int code) {
  switch (code) {
    case WSAEADDRINUSE:
      return std::errc::address_in_use;
    case WSAEADDRNOTAVAIL:
      return std::errc::address_not_available;
    case WSAECONNREFUSED:
      return std::errc::connection_refused;
    case WSAECONNRESET:
      return std::errc::connection_reset;
    case WSAECONNABORTED:
      return std::errc::connection_aborted;
    case WSAETIMEDOUT:
      return std::errc::timed_out;
    case WSAENETUNREACH:
      return std::errc::network_unreachable;
    case WSAEHOSTUNREACH:
      return std::errc::host_unreachable;
    case WSAENETDOWN:
      return std::errc::network_down;
    case WSAENETRESET:
      return std::errc::network_reset;
    case WSAENOTCONN:
      return std::errc::not_connected;
    case WSAEISCONN:
      return std::errc::already_connected;
    case WSAEACCES:
      return std::errc::permission_denied;
    case WSAEAFNOSUPPORT:
      return std::errc::address_family_not_supported;
    case WSAEPROTONOSUPPORT:
      return std::errc::protocol_not_supported;
    case WSAEMSGSIZE:
      return std::errc::message_size;
    case WSAENOBUFS:
      return std::errc::no_buffer_space;
    case WSAEMFILE:
      return std::errc::too_many_files_open;
    case WSAEWOULDBLOCK:
      return std::errc::operation_would_block;
    case WSAEINPROGRESS:
      return std::errc::operation_in_progress;
    case WSAEINTR:
      return std::errc::interrupted;
    case WSAEINVAL:
      return std::errc::invalid_argument;
    case WSAENOTSOCK:
      return std::errc::not_a_socket;
    default:
      return std::nullopt;
  }
}

// The system's own text for a Winsock code, without its line end.
std::string SystemText(int code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (length > 0) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
  }
  if (text) LocalFree(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ')) utf8.pop_back();
  return utf8.empty() ? "Windows Sockets error " + std::to_string(code) : utf8;
}

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "winsock"; }
  std::string message(int code) const override { return SystemText(code); }
  std::error_condition default_error_condition(int code) const noexcept override {
    if (const auto condition = PortableCondition(code)) return std::make_error_condition(*condition);
    return std::error_condition(code, *this);
  }
};

}  // namespace

const std::error_category& WinsockCategory() {
  static const Category category;
  return category;
}

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

std::system_error WinsockError(int code, const std::string& what) {
  return std::system_error(code, WinsockCategory(), what);
}

SocketWithEvents::SocketWithEvents() : socket(INVALID_SOCKET), network(WSA_INVALID_EVENT), wake(WSA_INVALID_EVENT) {}

SocketWithEvents::~SocketWithEvents() {
  if (socket != INVALID_SOCKET) closesocket(socket);
  if (network != WSA_INVALID_EVENT) WSACloseEvent(network);
  if (wake != WSA_INVALID_EVENT) WSACloseEvent(wake);
}

}  // namespace platform
