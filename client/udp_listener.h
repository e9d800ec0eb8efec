// TUdpListener, the window's UDP listener component (IdUDPServer1): receives
// datagrams on one port of the IPv4 and, where offered, IPv6 any-address and
// hands each to the thread that owns the listener (the GUI thread).
// Threads: one listener thread per socket receives a datagram, hands it to
// the owner's thread (gui_hand_over.h) and waits until its handler has run
// (or the listener stops) before receiving the next; datagrams wait in the
// socket meanwhile.
// Start and Stop belong to the owner's thread; the handler never runs after
// Stop, and Stop never waits for a handler, so it may be called anywhere on
// that thread, inside the handler too.
#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "client/gui_hand_over.h"
#include "platform/udp_socket.h"

class TUdpListener : public QObject {
  Q_OBJECT

 public:
  using ReadHandler = std::function<void(const QByteArray& data)>;

  // The longest wait of a listener thread before it waits again.
  static constexpr int kWaitMs = 1000;

  explicit TUdpListener(QObject* owner = nullptr);
  ~TUdpListener() override;

  // Binds `port` (0: a free port, then the same one for both families) and
  // starts the listener threads; `on_read` gets each datagram's bytes and
  // may throw, which drops that datagram. Call once. Throws
  // std::system_error when the port cannot be bound; nothing runs then.
  void Start(std::uint16_t port, ReadHandler on_read);

  // Wakes and joins the listener threads and closes the sockets; datagrams
  // not yet handled are dropped. Further calls do nothing.
  void Stop();

  std::uint16_t Port() const { return port_; }
  // The number of bound sockets: 1, or 2 where the system offers IPv6.
  std::size_t SocketCount() const { return sockets_.size(); }

 private:
  void Listen(platform::UdpSocket& socket);

  ReadHandler on_read_;
  std::uint16_t port_ = 0;
  std::vector<std::unique_ptr<platform::UdpSocket>> sockets_;
  std::vector<std::thread> threads_;
  // Closed by Stop. The listener itself is the context: a datagram still
  // queued when it goes is discarded.
  vantrel::GuiHandOver hand_over_{this};
};
