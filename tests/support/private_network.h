// A network of the test process's own, so that the machine's address (and
// with it the station name) is one the test chose: a fresh network
// namespace with loopback up and a connected interface pair whose first end
// holds `address`. Registered as a global test environment, it is entered
// on the main thread before any test, socket or thread exists, so every
// thread started later lives in it. Needs CAP_NET_ADMIN and CAP_SYS_ADMIN
// (CI runs as root); where the kernel refuses, Entered() is false and the
// reason is printed.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

class PrivateNetwork : public testing::Environment {
 public:
  // `address` with its prefix length, such as "192.168.1.23/24".
  explicit PrivateNetwork(std::string address) : address_(std::move(address)) {}

  void SetUp() override {
    if (unshare(CLONE_NEWNET) != 0) {
      std::perror("no private network namespace (needs CAP_SYS_ADMIN)");
      return;
    }
    const std::string setup =
        "exec >/dev/null 2>&1; set -e; ip link set lo up; ip link add v0 type veth peer name v1;"
        "ip link set v0 up; ip link set v1 up; ip addr add " +
        address_ + " dev v0";
    if (std::system(setup.c_str()) != 0) {
      std::fprintf(stderr, "the private network could not be set up (needs CAP_NET_ADMIN)\n");
      return;
    }
    Entered() = true;
  }

  static bool& Entered() {
    static bool entered = false;
    return entered;
  }

 private:
  std::string address_;
};

}  // namespace testsupport
