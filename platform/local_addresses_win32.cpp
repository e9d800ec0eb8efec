// Win32 implementation of platform/local_addresses.h (IP Helper):
// GetAdaptersAddresses, or GetAdaptersInfo where that is not supported.
#include <winsock2.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstring>
#include <vector>

#include "platform/local_addresses.h"

namespace platform {
namespace {

std::string AddressText(const sockaddr_in& address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address.sin_addr, sizeof bytes);
  return DottedDecimal(bytes);
}

// Calls `query(buffer, &size)` until the buffer is large enough; the result
// is the last call's error code.
template <typename Query>
ULONG QueryIntoBuffer(std::vector<unsigned char>& buffer, Query query) {
  ULONG size = 16 * 1024;
  ULONG error;
  do {
    buffer.resize(size);
    error = query(buffer.data(), &size);
  } while (error == ERROR_BUFFER_OVERFLOW && size > buffer.size());
  return error;
}

constexpr ULONG kAddressQueryFlags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;

// Fills `addresses`; false when GetAdaptersAddresses is not supported.
bool AdaptersAddresses(std::vector<std::string>& addresses) {
  std::vector<unsigned char> buffer;
  const ULONG error = QueryIntoBuffer(buffer, [](unsigned char* data, ULONG* size) {
    return GetAdaptersAddresses(AF_UNSPEC, kAddressQueryFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(data),
                                size);
  });
  if (error == ERROR_NOT_SUPPORTED) return false;
  if (error != NO_ERROR) return true;  // no adapters, or the query failed: an empty list
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK || (adapter->Flags & IP_ADAPTER_RECEIVE_ONLY) ||
        adapter->OperStatus != IfOperStatusUp)
      continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      if (unicast->Address.lpSockaddr->sa_family != AF_INET || unicast->DadState != IpDadStatePreferred) continue;
      addresses.push_back(AddressText(*reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr)));
    }
  }
  return true;
}

// The older list: IPv4 only, no duplicate-detection state, no loopback adapter.
void AdaptersInfo(std::vector<std::string>& addresses) {
  std::vector<unsigned char> buffer;
  const ULONG error = QueryIntoBuffer(buffer, [](unsigned char* data, ULONG* size) {
    return GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(data), size);
  });
  if (error != NO_ERROR) return;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); adapter; adapter = adapter->Next) {
    if (adapter->Type == MIB_IF_TYPE_LOOPBACK) continue;
    for (const IP_ADDR_STRING* entry = &adapter->IpAddressList; entry; entry = entry->Next) {
      // An adapter without an address lists 0.0.0.0.
      if (std::strcmp(entry->IpAddress.String, "0.0.0.0") != 0) addresses.emplace_back(entry->IpAddress.String);
    }
  }
}

}  // namespace

std::vector<std::string> LocalIPv4Addresses() {
  std::vector<std::string> addresses;
  if (!AdaptersAddresses(addresses)) AdaptersInfo(addresses);
  return addresses;
}

}  // namespace platform
