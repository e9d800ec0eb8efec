// The local IPv4 address list, checked in a private network namespace whose
// interfaces and addresses the test makes itself: loopback, down and
// carrier-less interfaces and deprecated addresses are left out, the rest
// come in the kernel's order, GetLocalIP picks the first private one, and
// the station name is made of its third and fourth numbers.
#include "platform/local_addresses.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

#include "client/station_name.h"

namespace {

TEST(LocalIPv4Addresses, AreDottedDecimalAndNeverLoopback) {
  for (const std::string& address : platform::LocalIPv4Addresses()) {
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    EXPECT_FALSE(address.starts_with("127.")) << address;
  }
}

TEST(DottedDecimal, WritesEachByteInDecimal) {
  const unsigned char bytes[4] = {10, 0, 255, 7};
  EXPECT_EQ(platform::DottedDecimal(bytes), "10.0.255.7");
}

// The rules in a network the test builds itself: Linux network namespaces.
// (On Windows the same rules read the adapter list of IP Helper; no test
// can make adapters there, so only the list's form is checked above.)
#ifndef _WIN32
constexpr int kNoNamespace = 77;

// Runs in a child process with a network namespace of its own; writes the
// list and GetLocalIP's choice, one per line, to `out`.
[[noreturn]] void ListInPrivateNamespace(int out) {
  if (unshare(CLONE_NEWNET) != 0) _exit(kNoNamespace);
  const char* setup =
      "exec >/dev/null 2>&1; set -e; ip link set lo up; ip addr add 10.7.7.7/8 dev lo;"
      "ip link add v0 type veth peer name v1; ip link set v0 up; ip link set v1 up;"
      "ip addr add 192.168.5.6/24 dev v0; ip addr add 10.1.2.3/24 dev v0 preferred_lft 0;"
      "ip addr add 172.20.0.1/16 dev v0 label v0:a; ip addr add 10.2.0.1/16 dev v1;"
      "ip tuntap add t0 mode tun; ip addr add 10.9.9.9/24 dev t0;"
      "ip link add v2 type veth peer name v3; ip link set v2 up; ip addr add 10.3.0.1/16 dev v2";
  if (std::system(setup) != 0) _exit(kNoNamespace);
  std::string report;
  for (const std::string& address : platform::LocalIPv4Addresses()) report += address + "\n";
  report += "chosen " + vantrel::GetLocalIP() + "\n";
  report += "station " + vantrel::StationName(vantrel::GetLocalIP()) + "\n";
  (void)!write(out, report.data(), report.size());
  _exit(0);
}

TEST(LocalIPv4Addresses, FollowTheInterfaceAndAddressRulesInKernelOrder) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    ListInPrivateNamespace(fds[1]);
  }
  close(fds[1]);
  std::string report;
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, n);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNoNamespace) GTEST_SKIP() << "no private network namespace (needs CAP_NET_ADMIN)";
  ASSERT_EQ(WEXITSTATUS(status), 0);
  // lo (loopback), 10.1.2.3 (deprecated), t0 (down) and v2 (no carrier) are left out.
  EXPECT_EQ(report, "10.2.0.1\n192.168.5.6\n172.20.0.1\nchosen 10.2.0.1\nstation KXD-01\n");
}
#endif

}  // namespace
