// The TCP client socket on loopback: connect (refused, unanswered, done),
// one-piece sends, receives with a time limit, the peer's close, and a
// disconnect from another thread while a receive is blocked.
#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/control/loopback_server.h"
#include "tests/support/test_env.h"

namespace platform {
namespace {

using IoStatus = TcpSocket::IoStatus;
using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7f000001;

long MillisecondsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class TcpSocketTest : public testing::Test {
 protected:
  void ConnectAndAccept() {
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(socket.Connect(kLoopback, server.port(), 5000));
    ASSERT_TRUE(server.Accept());
  }
  testsupport::LoopbackServer server;
  TcpSocket socket;
};

TEST_F(TcpSocketTest, SendsAndReceives) {
  ConnectAndAccept();
  EXPECT_TRUE(socket.IsOpen());
  EXPECT_FALSE(socket.Connect(kLoopback, server.port(), 5000)) << "a second connect while open";
  const std::string line = "name=KXD-123&pass=4711\r\n";
  EXPECT_EQ(socket.Send(line.data(), line.size()), IoStatus::Done);
  EXPECT_EQ(server.Received(line.size()), line);

  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  char buffer[64];
  size_t received = 0;
  ASSERT_EQ(socket.Receive(buffer, sizeof buffer, 2000, received), IoStatus::Done);
  EXPECT_EQ(std::string(buffer, received), "OK=1280x720\n");
}

TEST_F(TcpSocketTest, ReceiveTimesOutWhenNothingArrives) {
  ConnectAndAccept();
  char buffer[16];
  size_t received = 7;
  const auto start = Clock::now();
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 200, received), IoStatus::TimedOut);
  EXPECT_GE(MillisecondsSince(start), 190);
  EXPECT_EQ(received, 0u);
  EXPECT_TRUE(socket.IsOpen());
}

TEST_F(TcpSocketTest, ThePeersCloseIsALostConnection) {
  ConnectAndAccept();
  server.CloseConnection();
  char buffer[16];
  size_t received = 0;
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 2000, received), IoStatus::Lost);
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Disconnect()) << "nothing left to close";
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 10, received), IoStatus::Disconnected);
  const std::string text = "x";
  EXPECT_EQ(socket.Send(text.data(), text.size()), IoStatus::Disconnected);
}

TEST_F(TcpSocketTest, DisconnectClosesOnceAndTheDeviceSeesTheEnd) {
  ConnectAndAccept();
  EXPECT_TRUE(socket.Disconnect());
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Disconnect());
  EXPECT_TRUE(server.PeerClosed());
}

TEST_F(TcpSocketTest, DisconnectWakesABlockedReceive) {
  ConnectAndAccept();
  IoStatus status = IoStatus::Done;
  Clock::time_point woke;
  std::thread reader([&] {
    char buffer[16];
    size_t received = 0;
    status = socket.Receive(buffer, sizeof buffer, -1, received);
    woke = Clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  EXPECT_TRUE(socket.Disconnect());
  reader.join();
  EXPECT_EQ(status, IoStatus::Disconnected);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(woke - start).count(), 1000);
  EXPECT_TRUE(server.PeerClosed());
  // The socket connects anew afterwards.
  ASSERT_TRUE(socket.Connect(kLoopback, server.port(), 5000));
  EXPECT_TRUE(socket.IsOpen());
}

TEST(TcpSocketConnect, FailsAtOnceWhenNothingListens) {
  if (testsupport::RunningUnderWine())
    GTEST_SKIP() << "needs real Windows: Windows repeats a connect that was refused (about 2 s on "
                    "loopback) where Wine, on Linux sockets, fails at once";
  TcpSocket socket;
  const auto start = Clock::now();
  EXPECT_FALSE(socket.Connect(kLoopback, testsupport::UnusedLoopbackPort(), 5000));
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_FALSE(socket.IsOpen());
}

TEST(TcpSocketConnect, GivesUpAfterTheTimeLimitWhenNobodyAnswers) {
  testsupport::UnansweringListener listener;
  ASSERT_TRUE(listener.full());
  TcpSocket socket;
  const auto start = Clock::now();
  EXPECT_FALSE(socket.Connect(kLoopback, listener.port(), 700));
  const long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 690);
  EXPECT_LT(elapsed, 3000);
  EXPECT_FALSE(socket.IsOpen());
}

TEST(ResolveIPv4, FindsLocalhost) {
  EXPECT_EQ(ResolveIPv4("localhost"), kLoopback);
  EXPECT_EQ(ResolveIPv4(""), std::nullopt);
}

}  // namespace
}  // namespace platform
