// The UDP socket layer on real loopback sockets: binding both families on
// one port, exclusive ports, receiving, the buffer limit, waits and wake-ups.
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/discovery/loopback_sender.h"

namespace {

using platform::IpFamily;
using platform::UdpSocket;
using testsupport::Loopback;
using testsupport::SendDatagram;

std::string ReceiveText(UdpSocket& socket) {
  if (socket.WaitForData(5000) != UdpSocket::WaitResult::Readable) return "<nothing>";
  std::vector<std::uint8_t> buffer(UdpSocket::kMaxDatagram);
  const auto length = socket.Receive(buffer);
  return length ? std::string(buffer.data(), buffer.data() + *length) : "<failed>";
}

TEST(UdpSocket, BothFamiliesShareOnePortAndEachReceivesItsOwn) {
  const auto ipv4 = UdpSocket::Bind(IpFamily::IPv4, 0);
  ASSERT_TRUE(ipv4);
  const auto ipv6 = UdpSocket::Bind(IpFamily::IPv6, ipv4->Port());
  if (!ipv6) GTEST_SKIP() << "no IPv6 on this system";
  EXPECT_EQ(ipv6->Port(), ipv4->Port());
  ASSERT_TRUE(SendDatagram(ipv4->Port(), "over IPv4", Loopback::IPv4));
  ASSERT_TRUE(SendDatagram(ipv4->Port(), "over IPv6", Loopback::IPv6));
  EXPECT_EQ(ReceiveText(*ipv4), "over IPv4");
  EXPECT_EQ(ReceiveText(*ipv6), "over IPv6");
}

class ExclusivePort : public ::testing::TestWithParam<IpFamily> {};

TEST_P(ExclusivePort, SecondBindFailsWithAddressInUse) {
  const auto first = UdpSocket::Bind(GetParam(), 0);
  if (!first) GTEST_SKIP() << "family not offered";
  try {
    UdpSocket::Bind(GetParam(), first->Port());
    FAIL() << "second bind succeeded";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::address_in_use);
    // The text says what happened, on every system ("Address already in use", or Windows's own words).
    EXPECT_EQ(error.code().message().find("Unknown error"), std::string::npos) << error.code().message();
    EXPECT_GT(error.code().message().size(), 10u) << error.code().message();
    EXPECT_NE(std::string(error.what()).find("UDP port " + std::to_string(first->Port())), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, ExclusivePort, ::testing::Values(IpFamily::IPv4, IpFamily::IPv6),
                         [](const auto& info) { return info.param == IpFamily::IPv4 ? "IPv4" : "IPv6"; });

TEST(UdpSocket, DatagramLongerThanTheBufferIsDroppedAndTheNextArrives) {
  const auto socket = UdpSocket::Bind(IpFamily::IPv4, 0);
  ASSERT_TRUE(SendDatagram(socket->Port(), std::string(UdpSocket::kMaxDatagram + 1, 'x')));
  ASSERT_TRUE(SendDatagram(socket->Port(), std::string(UdpSocket::kMaxDatagram, 'y')));
  std::vector<std::uint8_t> buffer(UdpSocket::kMaxDatagram);
  ASSERT_EQ(socket->WaitForData(5000), UdpSocket::WaitResult::Readable);
  EXPECT_FALSE(socket->Receive(buffer).has_value());
  EXPECT_EQ(ReceiveText(*socket), std::string(UdpSocket::kMaxDatagram, 'y'));
}

TEST(UdpSocket, ReceiveWithNothingWaitingReturnsAtOnce) {
  const auto socket = UdpSocket::Bind(IpFamily::IPv4, 0);
  std::vector<std::uint8_t> buffer(16);
  EXPECT_FALSE(socket->Receive(buffer).has_value());
  EXPECT_EQ(socket->WaitForData(20), UdpSocket::WaitResult::TimedOut);
}

TEST(UdpSocket, WakeEndsAWaitOnAnotherThreadAndEveryLaterWait) {
  const auto socket = UdpSocket::Bind(IpFamily::IPv4, 0);
  UdpSocket::WaitResult seen = UdpSocket::WaitResult::TimedOut;
  std::thread waiter([&] { seen = socket->WaitForData(60'000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  socket->Wake();
  waiter.join();
  EXPECT_EQ(seen, UdpSocket::WaitResult::Woken);
  ASSERT_TRUE(SendDatagram(socket->Port(), "late"));
  EXPECT_EQ(socket->WaitForData(60'000), UdpSocket::WaitResult::Woken);
}

}  // namespace
