// Linux implementation of platform/local_addresses.h: getifaddrs gives the
// interfaces' flags and the addresses in the kernel's order; the addresses'
// own flags (tentative, dadfailed, deprecated) come from a netlink
// RTM_GETADDR dump, matched by interface label and address. Linux has no
// receive-only interfaces; an interface counts as down unless it is both
// up and running.
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/local_addresses.h"

namespace platform {
namespace {

// Address flags keyed by (interface label, IPv4 address in network order).
using AddressFlags = std::map<std::pair<std::string, std::uint32_t>, std::uint32_t>;

// Reads the attributes of one RTM_NEWADDR message into `flags`.
void ReadAddressMessage(const nlmsghdr* header, AddressFlags& flags) {
  const auto* message = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
  std::uint32_t address_flags = message->ifa_flags;
  std::optional<std::uint32_t> local, address;
  std::string label;
  int length = IFA_PAYLOAD(header);
  for (const rtattr* attribute = IFA_RTA(message); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
    const std::size_t size = RTA_PAYLOAD(attribute);
    const void* data = RTA_DATA(attribute);
    std::uint32_t value;
    switch (attribute->rta_type) {
      case IFA_LOCAL:
      case IFA_ADDRESS:
        if (size != sizeof value) break;
        std::memcpy(&value, data, sizeof value);
        (attribute->rta_type == IFA_LOCAL ? local : address) = value;
        break;
      case IFA_LABEL:
        label.assign(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
        break;
      case IFA_FLAGS:
        if (size == sizeof value) std::memcpy(&address_flags, data, sizeof value);
        break;
    }
  }
  // getifaddrs reports the local address, or the address where there is none.
  if (local) address = local;
  if (address) flags[{label, *address}] = address_flags;
}

std::optional<AddressFlags> ReadKernelAddressFlags() {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return std::nullopt;
  struct {
    nlmsghdr header;
    ifaddrmsg message;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.message);
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.message.ifa_family = AF_INET;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;

  std::optional<AddressFlags> result;
  if (sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) >=
      0) {
    AddressFlags flags;
    std::vector<std::uint32_t> buffer(16384);  // 64 KiB, aligned for nlmsghdr
    bool done = false, failed = false;
    while (!done && !failed) {
      const ssize_t received = recv(fd, buffer.data(), buffer.size() * sizeof buffer[0], MSG_TRUNC);
      if (received <= 0 || static_cast<std::size_t>(received) > buffer.size() * sizeof buffer[0]) {
        failed = true;
        break;
      }
      int length = static_cast<int>(received);
      for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(header, length);
           header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_seq != request.header.nlmsg_seq) continue;
        if (header->nlmsg_type == NLMSG_DONE) {
          done = true;
          break;
        }
        if (header->nlmsg_type == NLMSG_ERROR) {
          failed = true;
          break;
        }
        if (header->nlmsg_type == RTM_NEWADDR) ReadAddressMessage(header, flags);
      }
    }
    if (done) result = std::move(flags);
  }
  close(fd);
  return result;
}

}  // namespace

std::vector<std::string> LocalIPv4Addresses() {
  const std::optional<AddressFlags> kernel_flags = ReadKernelAddressFlags();
  ifaddrs* list = nullptr;
  if (!kernel_flags || getifaddrs(&list) != 0) return {};

  constexpr std::uint32_t kNotPreferred = IFA_F_TENTATIVE | IFA_F_DADFAILED | IFA_F_DEPRECATED;
  std::vector<std::string> addresses;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_LOOPBACK) || !(entry->ifa_flags & IFF_UP) || !(entry->ifa_flags & IFF_RUNNING))
      continue;
    const in_addr address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
    // An address the kernel did not list a moment ago has no known state.
    const auto found = kernel_flags->find({entry->ifa_name, address.s_addr});
    if (found == kernel_flags->end() || (found->second & kNotPreferred)) continue;
    unsigned char bytes[4];
    std::memcpy(bytes, &address.s_addr, sizeof bytes);
    addresses.push_back(DottedDecimal(bytes));
  }
  freeifaddrs(list);
  return addresses;
}

}  // namespace platform
