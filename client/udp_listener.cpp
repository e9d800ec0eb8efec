// TUdpListener (see udp_listener.h).
#include "client/udp_listener.h"

#include "platform/process.h"

TUdpListener::TUdpListener(QObject* owner) : QObject(owner) {}

TUdpListener::~TUdpListener() { Stop(); }

void TUdpListener::Start(std::uint16_t port, ReadHandler on_read) {
  using platform::IpFamily;
  std::vector<std::unique_ptr<platform::UdpSocket>> sockets;
  sockets.push_back(platform::UdpSocket::Bind(IpFamily::IPv4, port));
  port = sockets.front()->Port();
  if (auto ipv6 = platform::UdpSocket::Bind(IpFamily::IPv6, port)) sockets.push_back(std::move(ipv6));

  on_read_ = std::move(on_read);
  port_ = port;
  sockets_ = std::move(sockets);
  for (auto& socket : sockets_) threads_.emplace_back(&TUdpListener::Listen, this, std::ref(*socket));
}

void TUdpListener::Stop() {
  hand_over_.Close();
  for (auto& socket : sockets_) socket->Wake();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
  sockets_.clear();
}

void TUdpListener::Listen(platform::UdpSocket& socket) {
  platform::MaskFloatingPointExceptions();
  std::vector<std::uint8_t> buffer(platform::UdpSocket::kMaxDatagram);
  for (;;) {
    const auto wait = socket.WaitForData(kWaitMs);
    if (wait == platform::UdpSocket::WaitResult::Woken) return;
    if (wait == platform::UdpSocket::WaitResult::TimedOut) continue;
    const auto length = socket.Receive(buffer);
    if (!length) continue;  // nothing there after all, too long, or failed

    QByteArray data(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(*length));
    const bool handled = hand_over_.Run(hand_over_.Session(), [this, data = std::move(data)] {
      try {
        on_read_(data);
      } catch (...) {
        // A handler error drops the datagram; the listener goes on.
      }
    });
    if (!handled) return;  // stopped
  }
}
