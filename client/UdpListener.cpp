// TUdpListener (see UdpListener.h).
#include "client/UdpListener.h"

#include "platform/process.h"

struct TUdpListener::Delivery {
  QByteArray data;
  bool done = false;  // guarded by the listener's mutex_
};

TUdpListener::TUdpListener(QObject* owner) : QObject(owner) {
  // The datagram itself passes through waiting_; the queued signal only
  // makes the owner's thread look there. A pending call is discarded when
  // this object goes.
  connect(this, &TUdpListener::DatagramWaiting, this, &TUdpListener::HandleNext, Qt::QueuedConnection);
}

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
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  handled_.notify_all();
  for (auto& socket : sockets_) socket->Wake();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
  sockets_.clear();
  waiting_.clear();
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

    auto delivery = std::make_shared<Delivery>();
    delivery->data = QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(*length));
    std::unique_lock lock(mutex_);
    if (stopping_) return;
    waiting_.push_back(delivery);
    lock.unlock();
    emit DatagramWaiting();
    lock.lock();
    handled_.wait(lock, [&] { return delivery->done || stopping_; });
    if (stopping_) return;
  }
}

void TUdpListener::HandleNext() {
  std::shared_ptr<Delivery> delivery;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || waiting_.empty()) return;
    delivery = std::move(waiting_.front());
    waiting_.pop_front();
  }
  try {
    on_read_(delivery->data);
  } catch (...) {
    // A handler error drops the datagram; the listener goes on.
  }
  {
    std::lock_guard lock(mutex_);
    delivery->done = true;
  }
  handled_.notify_all();
}
