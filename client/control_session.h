// The control session's components: the TCP client of the control
// connection (IdTCPClient1), the reader thread (IdThreadComponent1) and the
// reader's loop, which hands its work to the GUI thread (gui_hand_over.h).
// Connect runs on the GUI thread, the loop on the reader thread; disconnect
// and the open test are safe from any thread. Nothing here touches a window
// or the engine: what a reply does is given by the window, and carried out on
// the GUI thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "client/control_protocol.h"
#include "client/gui_hand_over.h"
#include "platform/tcp_socket.h"

namespace vantrel {

class TIdTCPClient {
 public:
  enum class ReadResult {
    Line,     // a line, or the empty line after a read time-out
    TooLong,  // a line passed kMaxReplyLineBytes
    Lost,     // the device closed the connection or it failed
    Closed,   // this side disconnected
  };

  // Runs inside Connect, on the connecting thread, once connected; an
  // exception from it fails the connect and closes the connection again.
  std::function<void()> OnConnected;
  // Runs inside a Disconnect that found the connection held, after closing
  // it, on the thread that asked.
  std::function<void()> OnDisconnected;

  std::string Host;
  uint16_t Port = kControlPort;
  int ConnectTimeout = kConnectTimeoutMs;
  int ReadTimeout = -1;  // milliseconds; negative: none. Reader thread only.

  // Resolves Host and connects within ConnectTimeout, starting with an empty
  // receive buffer. False on any failure, when Host is empty or while open.
  bool Connect();
  void Disconnect();
  // The connection is open: from a successful connect until a disconnect, or
  // until a read noticed that the connection was lost.
  bool Connected() const;

  // The reader's side of the connection.
  platform::TcpSocket::IoStatus Send(const std::string& bytes);
  ReadResult ReadLn(std::string& line);

 private:
  platform::TcpSocket socket_;
  ReplyLineAssembler lines_;
};

// A worker thread that calls OnRun again and again until deactivated.
class TIdThreadComponent {
 public:
  std::function<void()> OnRun;

  TIdThreadComponent() = default;
  ~TIdThreadComponent();  // deactivates and joins
  TIdThreadComponent(const TIdThreadComponent&) = delete;
  TIdThreadComponent& operator=(const TIdThreadComponent&) = delete;

  // Joins the thread of an earlier activation (which must have ended or end
  // without the caller's help), then starts a fresh one.
  void Activate();
  // The thread ends once the running OnRun call has returned. Any thread.
  void Deactivate();
  // Deactivates and joins the thread (same precondition as Activate).
  void TerminateAndWaitFor();
  // A thread was started and has not finished yet.
  bool Active() const;

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
};

// What replies do; each runs on the GUI thread through the hand-over.
struct ReplyActions {
  std::function<void(VideoSize)> accepted;  // an "OK=" reply with a valid size
  std::function<void()> lost;               // the connection was lost: the reset
};

// The reader's session, on the reader thread: sends the login line, then
// reads reply lines with the reply time limit and acts on each in order (as
// work of `session`), until the connection is closed, lost, the session
// ends, the hand-over closes, or a reply line or size is invalid (the
// connection then stays open). A refusal disconnects on the GUI thread,
// which raises OnDisconnected there.
void RunReplyReader(TIdTCPClient& client, GuiHandOver& gui, GuiHandOver::SessionId session,
                    const std::string& login_line, const ReplyActions& actions);

}  // namespace vantrel
