// TUdpListener with real datagrams on loopback: hand-over to the owner's
// thread, waiting while the owner is busy, dropped datagrams at stop,
// stopping from inside a handler, and ports that cannot be bound.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "client/udp_listener.h"
#include "tests/discovery/loopback_sender.h"

namespace {

using testsupport::Loopback;
using testsupport::SendDatagram;

class Listener : public ::testing::Test {
 protected:
  // Runs the owner's event loop until `done` holds (or 10 s pass).
  bool ProcessUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // Lets the listener threads run for a while without handling anything.
  static void StayBusy() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

  void StartRecording() {
    listener.Start(0, [this](const QByteArray& data) {
      on_owner_thread &= QThread::currentThread() == app.thread();
      received.push_back(data.toStdString());
    });
  }

  int argc = 1;
  char name[16] = "listener_test";
  char* argv[1] = {name};
  QCoreApplication app{argc, argv};
  TUdpListener listener;
  std::vector<std::string> received;
  bool on_owner_thread = true;
};

TEST_F(Listener, DatagramReachesTheHandlerOnTheOwnersThreadWithAllItsBytes) {
  StartRecording();
  const std::string payload("Cam\0\xFF (127.0.0.1)\r\n", 19);
  ASSERT_TRUE(SendDatagram(listener.Port(), payload));
  ASSERT_TRUE(ProcessUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0], payload);
  EXPECT_TRUE(on_owner_thread);
}

TEST_F(Listener, IPv6DatagramArrivesOnTheSecondSocketOfTheSamePort) {
  StartRecording();
  if (listener.SocketCount() < 2) GTEST_SKIP() << "no IPv6 on this system";
  ASSERT_TRUE(SendDatagram(listener.Port(), "six", Loopback::IPv6));
  ASSERT_TRUE(SendDatagram(listener.Port(), "four", Loopback::IPv4));
  ASSERT_TRUE(ProcessUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(std::set<std::string>(received.begin(), received.end()), (std::set<std::string>{"six", "four"}));
  EXPECT_TRUE(on_owner_thread);
}

TEST_F(Listener, DatagramsWaitWhileTheOwnerIsBusyAndArriveInOrder) {
  StartRecording();
  std::vector<std::string> sent;
  for (int i = 0; i < 40; ++i) {
    sent.push_back("device " + std::to_string(i));
    ASSERT_TRUE(SendDatagram(listener.Port(), sent.back()));
  }
  StayBusy();
  ASSERT_TRUE(ProcessUntil([&] { return received.size() == sent.size(); }));
  EXPECT_EQ(received, sent);
}

TEST_F(Listener, OversizedDatagramIsSkippedAndTheNextArrives) {
  StartRecording();
  ASSERT_TRUE(SendDatagram(listener.Port(), std::string(platform::UdpSocket::kMaxDatagram + 1, 'x')));
  ASSERT_TRUE(SendDatagram(listener.Port(), "after"));
  ASSERT_TRUE(ProcessUntil([&] { return !received.empty(); }));
  StayBusy();
  QCoreApplication::processEvents();
  EXPECT_EQ(received, std::vector<std::string>{"after"});
}

TEST_F(Listener, HandlerErrorDropsOnlyThatDatagram) {
  listener.Start(0, [this](const QByteArray& data) {
    if (data == "bad") throw std::runtime_error("malformed");
    received.push_back(data.toStdString());
  });
  ASSERT_TRUE(SendDatagram(listener.Port(), "bad"));
  ASSERT_TRUE(SendDatagram(listener.Port(), "good"));
  ASSERT_TRUE(ProcessUntil([&] { return !received.empty(); }));
  EXPECT_EQ(received, std::vector<std::string>{"good"});
}

TEST_F(Listener, StopWhileAListenerWaitsForItsHandlerDropsTheDatagram) {
  StartRecording();
  ASSERT_TRUE(SendDatagram(listener.Port(), "never handled"));
  StayBusy();  // the listener has handed it over and waits
  listener.Stop();
  StayBusy();
  QCoreApplication::processEvents();
  EXPECT_TRUE(received.empty());
  listener.Stop();  // a second stop does nothing
}

TEST_F(Listener, StopInsideTheHandlerEndsListening) {
  listener.Start(0, [this](const QByteArray& data) {
    received.push_back(data.toStdString());
    listener.Stop();
  });
  const std::uint16_t port = listener.Port();
  ASSERT_TRUE(SendDatagram(port, "first"));
  ASSERT_TRUE(ProcessUntil([&] { return !received.empty(); }));
  ASSERT_TRUE(SendDatagram(port, "second"));
  StayBusy();
  QCoreApplication::processEvents();
  EXPECT_EQ(received, std::vector<std::string>{"first"});
}

TEST_F(Listener, DestroyedWithDatagramsInFlight) {
  auto second = std::make_unique<TUdpListener>();
  second->Start(0, [this](const QByteArray& data) { received.push_back(data.toStdString()); });
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(SendDatagram(second->Port(), "pending"));
  StayBusy();
  second.reset();
  QCoreApplication::processEvents();
  EXPECT_TRUE(received.empty());
}

TEST_F(Listener, SecondListenerOnTheSamePortThrowsAndTheFirstGoesOn) {
  StartRecording();
  TUdpListener second;
  try {
    second.Start(listener.Port(), [](const QByteArray&) {});
    FAIL() << "second listener bound the port";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::address_in_use);
  }
  EXPECT_EQ(second.SocketCount(), 0u);
  ASSERT_TRUE(SendDatagram(listener.Port(), "still here"));
  ASSERT_TRUE(ProcessUntil([&] { return received.size() == 1; }));
}

TEST_F(Listener, PortHeldOnIPv6OnlyFailsAndReleasesTheIPv4Socket) {
  const auto holder = platform::UdpSocket::Bind(platform::IpFamily::IPv6, 0);
  if (!holder) GTEST_SKIP() << "no IPv6 on this system";
  EXPECT_THROW(listener.Start(holder->Port(), [](const QByteArray&) {}), std::system_error);
  EXPECT_EQ(listener.SocketCount(), 0u);
  EXPECT_TRUE(platform::UdpSocket::Bind(platform::IpFamily::IPv4, holder->Port()));
}

}  // namespace
