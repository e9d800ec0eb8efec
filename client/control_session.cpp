// The control session's components (see control_session.h).
#include "client/control_session.h"

namespace vantrel {

using IoStatus = platform::TcpSocket::IoStatus;

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
