// The control session's components (see ControlSession.h).
#include "client/ControlSession.h"

#include <QMetaObject>

namespace vantrel {

using IoStatus = platform::TcpSocket::IoStatus;

bool OutputActive = false;
bool PreviewActive = false;

bool TIdTCPClient::Connect() {
  if (socket_.IsOpen()) return false;
  const auto address = HostAddress(Host);
  if (!address) return false;
  lines_.Clear();
  if (!socket_.Connect(*address, Port, ConnectTimeout)) return false;
  try {
    if (OnConnected) OnConnected();
    return true;
  } catch (...) {
    socket_.Disconnect();
    return false;
  }
}

void TIdTCPClient::Disconnect() {
  if (socket_.Disconnect() && OnDisconnected) OnDisconnected();
}

bool TIdTCPClient::Connected() const { return socket_.IsOpen(); }

IoStatus TIdTCPClient::Send(const std::string& bytes) { return socket_.Send(bytes.data(), bytes.size()); }

TIdTCPClient::ReadResult TIdTCPClient::ReadLn(std::string& line) {
  for (;;) {
    switch (lines_.Next(line)) {
      case ReplyLineAssembler::Result::Line:
        return ReadResult::Line;
      case ReplyLineAssembler::Result::TooLong:
        return ReadResult::TooLong;
      case ReplyLineAssembler::Result::NoLine:
        break;
    }
    char buffer[4096];
    size_t received = 0;
    switch (socket_.Receive(buffer, sizeof buffer, ReadTimeout, received)) {
      case IoStatus::Done:
        lines_.Append(buffer, received);
        break;
      case IoStatus::TimedOut:
        line.clear();
        return ReadResult::Line;
      case IoStatus::Disconnected:
        return ReadResult::Closed;
      case IoStatus::Lost:
        return ReadResult::Lost;
    }
  }
}

TIdThreadComponent::~TIdThreadComponent() { TerminateAndWaitFor(); }

void TIdThreadComponent::TerminateAndWaitFor() {
  Deactivate();
  if (thread_.joinable()) thread_.join();
}

void TIdThreadComponent::Activate() {
  if (thread_.joinable()) thread_.join();
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] {
    while (!stop_) {
      try {
        if (OnRun) OnRun();
      } catch (...) {
        // A failing run handler ends only this call.
      }
    }
    running_ = false;
  });
}

void TIdThreadComponent::Deactivate() { stop_ = true; }

bool TIdThreadComponent::Active() const { return running_; }

GuiHandOver::GuiHandOver(QObject* gui_context) : context_(gui_context) {}

GuiHandOver::SessionId GuiHandOver::Session() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->session;
}

void GuiHandOver::EndSession() {
  std::lock_guard lock(shared_->mutex);
  ++shared_->session;
  shared_->done_or_closed.notify_all();
}

bool GuiHandOver::Run(SessionId session, std::function<void()> work) {
  const auto shared = shared_;
  const auto done = std::make_shared<bool>(false);  // guarded by shared->mutex
  const auto dropped = [&] { return shared->closed || shared->session != session; };
  std::unique_lock lock(shared->mutex);
  if (dropped()) return false;
  QMetaObject::invokeMethod(
      context_,
      [shared, session, done, work = std::move(work)] {
        {
          std::lock_guard gui_lock(shared->mutex);
          if (shared->closed || shared->session != session) return;
        }
        work();
        std::lock_guard gui_lock(shared->mutex);
        *done = true;
        shared->done_or_closed.notify_all();
      },
      Qt::QueuedConnection);
  shared->done_or_closed.wait(lock, [&] { return *done || dropped(); });
  return *done;
}

void GuiHandOver::Close() {
  std::lock_guard lock(shared_->mutex);
  shared_->closed = true;
  shared_->done_or_closed.notify_all();
}

void RunReplyReader(TIdTCPClient& client, GuiHandOver& gui, GuiHandOver::SessionId session,
                    const std::string& login_line, const ReplyActions& actions) {
  const auto lost = [&] { gui.Run(session, actions.lost); };
  switch (client.Send(login_line)) {
    case IoStatus::Done:
      break;
    case IoStatus::Lost:
      return lost();
    default:
      return;
  }
  client.ReadTimeout = kReplyReadTimeoutMs;
  for (;;) {
    std::string line;
    switch (client.ReadLn(line)) {
      case TIdTCPClient::ReadResult::Line:
        break;
      case TIdTCPClient::ReadResult::Lost:
        return lost();
      case TIdTCPClient::ReadResult::TooLong:
      case TIdTCPClient::ReadResult::Closed:
        return;
    }
    switch (ClassifyReply(line)) {
      case ReplyKind::Blank:
        break;
      case ReplyKind::Accepted: {
        const auto size = AcceptedVideoSize(line);
        if (!size || !IsUsableVideoSize(*size)) return;
        if (!gui.Run(session, [accepted = actions.accepted, size = *size] { accepted(size); })) return;
        break;
      }
      case ReplyKind::Refusal:
        if (!gui.Run(session, [&client] { client.Disconnect(); })) return;
        break;
    }
    if (!client.Connected()) return;
  }
}

}  // namespace vantrel
