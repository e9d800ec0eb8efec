// The control session's components working together as the window wires
// them, against a scripted device on loopback: the reader's login line, the
// replies acted on one at a time on the GUI thread, refusal, loss, invalid
// replies, and the hand-over closing while the reader waits.
#include "client/control_session.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <vector>

#include "tests/control/loopback_server.h"
#include "tests/support/qt_wait.h"

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;

using testsupport::WaitFor;

// The components wired as the window wires them; `events` records what ran
// on the GUI thread, in order.
class Session : public QObject {
 public:
  Session() {
    client.OnConnected = [this] {
      Record("connected");
      reader_session = gui.Session();
      reader.Activate();
    };
    client.OnDisconnected = [this] {
      Record("disconnected");
      gui.EndSession();
    };
    reader.OnRun = [this] {
      RunReplyReader(client, gui, reader_session, login,
                     {[this](VideoSize size) {
                        Record("accepted " + std::to_string(size.width) + "x" + std::to_string(size.height));
                      },
                      [this] { Record("lost"); }});
      reader.Deactivate();
    };
  }
  ~Session() override {
    gui.Close();
    client.OnDisconnected = nullptr;
    client.Disconnect();
  }

  void Record(const std::string& event) {
    if (QThread::currentThread() != thread()) off_gui_thread = true;
    events.push_back(event);
  }

  std::string login = "name=KXD-123&pass=4711\r\n";
  GuiHandOver::SessionId reader_session = 0;
  std::vector<std::string> events;
  bool off_gui_thread = false;
  // Declared so that the reader thread is joined before what it uses goes.
  TIdTCPClient client;
  GuiHandOver gui{this};
  TIdThreadComponent reader;
};

class ControlSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listening());
    session.client.Host = "127.0.0.1";
    session.client.Port = server.port();
  }
  void Login() {
    ASSERT_TRUE(session.client.Connect());
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.Received(session.login.size()), session.login);
  }
  bool ReaderEnded() {
    return WaitFor([&] { return !session.reader.Active(); });
  }
  using Events = std::vector<std::string>;

  int argc = 1;
  char name[8] = "test";
  char* argv[1] = {name};
  QCoreApplication app{argc, argv};
  testsupport::LoopbackServer server;
  Session session;
};

TEST_F(ControlSessionTest, SendsTheLoginLineAloneAndActsOnRepliesInOrder) {
  Login();
  EXPECT_TRUE(session.client.Connected());
  ASSERT_TRUE(server.Send("OK=1280x720\nOK=640X480\r\nOK=\n"));
  ASSERT_TRUE(WaitFor([&] { return session.events.size() == 4; }));
  EXPECT_EQ(session.events, (Events{"connected", "accepted 1280x720", "accepted 640x480", "accepted 1920x1080"}));
  EXPECT_FALSE(session.off_gui_thread);
  EXPECT_TRUE(session.reader.Active());
  // Nothing else is ever sent.
  EXPECT_EQ(server.Received(session.login.size() + 1, 300), session.login);
}

TEST_F(ControlSessionTest, BlankLinesAndSilencesAreIgnored) {
  Login();
  ASSERT_TRUE(server.Send("\n   \n\r\n\t\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // more than two read time limits
  ASSERT_TRUE(server.Send("OK=12"));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // a partial line stays buffered
  ASSERT_TRUE(server.Send("80x720\n"));
  ASSERT_TRUE(WaitFor([&] { return session.events.size() == 2; }));
  EXPECT_EQ(session.events, (Events{"connected", "accepted 1280x720"}));
  EXPECT_TRUE(session.reader.Active());
  EXPECT_TRUE(session.client.Connected());
}

TEST_F(ControlSessionTest, ARefusalDisconnectsOnTheGuiThread) {
  Login();
  ASSERT_TRUE(server.Send(" OK=1280x720\n"));
  ASSERT_TRUE(ReaderEnded());
  EXPECT_EQ(session.events, (Events{"connected", "disconnected"}));
  EXPECT_FALSE(session.off_gui_thread);
  EXPECT_FALSE(session.client.Connected());
  EXPECT_TRUE(server.PeerClosed());
}

TEST_F(ControlSessionTest, ALostConnectionResetsOnTheGuiThread) {
  Login();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitFor([&] { return session.events.size() == 2; }));
  server.CloseConnection();
  ASSERT_TRUE(ReaderEnded());
  EXPECT_EQ(session.events, (Events{"connected", "accepted 1280x720", "lost"}));
  EXPECT_FALSE(session.off_gui_thread);
  EXPECT_FALSE(session.client.Connected());
  session.client.Disconnect();
  EXPECT_EQ(session.events.size(), 3u) << "no disconnected notification for a lost connection";
}

class ReaderEndingReply : public ControlSessionTest, public testing::WithParamInterface<std::string> {};

TEST_P(ReaderEndingReply, EndsTheReaderAndKeepsTheConnectionOpen) {
  Login();
  ASSERT_TRUE(server.Send(GetParam() + "OK=1280x720\n"));
  ASSERT_TRUE(ReaderEnded());
  EXPECT_EQ(session.events, (Events{"connected"}));
  EXPECT_TRUE(session.client.Connected());
  EXPECT_FALSE(server.PeerClosed(200));
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderEndingReply,
                         testing::Values("OK=1280x720 \n", "OK=abc\n", "OK=1280\n", "OK=99999999999x1\n",
                                         std::string(kMaxReplyLineBytes + 1, 'a') + "\n",
                                         // Sizes no picture has.
                                         "OK=0x0\n", "OK=-1x5\n", "OK=640x-480\n", "OK=4294967297x2\n"));

TEST_F(ControlSessionTest, AReplyOnItsWayWhenTheSessionEndsIsDropped) {
  Login();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reader now waits for the GUI thread
  session.client.Disconnect();                                  // ends the session on the GUI thread
  ASSERT_TRUE(ReaderEnded());
  QCoreApplication::processEvents();
  EXPECT_EQ(session.events, (Events{"connected", "disconnected"}));
}

TEST_F(ControlSessionTest, ADisconnectWakesTheBlockedReader) {
  Login();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  session.client.Disconnect();
  ASSERT_TRUE(ReaderEnded());
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 600);
  EXPECT_EQ(session.events, (Events{"connected", "disconnected"}));
  EXPECT_TRUE(server.PeerClosed());
}

TEST_F(ControlSessionTest, ClosingTheHandOverEndsAWaitingReader) {
  Login();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reader now waits for the GUI thread
  session.gui.Close();
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (session.reader.Active() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(session.reader.Active()) << "the reader ended without the GUI thread";
  QCoreApplication::processEvents();
  EXPECT_EQ(session.events, (Events{"connected"})) << "work handed over before the close is dropped";
}

TEST_F(ControlSessionTest, DestroyingTheSessionWhileTheReaderWaitsEndsIt) {
  auto doomed = std::make_unique<Session>();
  doomed->client.Host = "127.0.0.1";
  doomed->client.Port = server.port();
  ASSERT_TRUE(doomed->client.Connect());
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  doomed.reset();  // joins the reader; must not hang
  EXPECT_TRUE(server.PeerClosed());
  QCoreApplication::processEvents();
}

TEST_F(ControlSessionTest, ASecondSessionAfterARefusalLogsInAgain) {
  Login();
  ASSERT_TRUE(server.Send("no\n"));
  ASSERT_TRUE(ReaderEnded());
  Login();
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitFor([&] { return session.events.size() == 4; }));
  EXPECT_EQ(session.events, (Events{"connected", "disconnected", "connected", "accepted 1920x1080"}));
}

TEST_F(ControlSessionTest, ConnectFailures) {
  session.client.Port = testsupport::UnusedLoopbackPort();
  EXPECT_FALSE(session.client.Connect());
  session.client.Host = "";
  EXPECT_FALSE(session.client.Connect());
  EXPECT_TRUE(session.events.empty());
}

TEST_F(ControlSessionTest, AConnectIsRefusedWhileOpen) {
  Login();
  EXPECT_FALSE(session.client.Connect());
  EXPECT_EQ(session.events, (Events{"connected"}));
}

TEST_F(ControlSessionTest, AFailingConnectedNotificationFailsTheConnect) {
  session.client.OnConnected = [] { throw std::runtime_error("no reader"); };
  EXPECT_FALSE(session.client.Connect());
  EXPECT_FALSE(session.client.Connected());
  ASSERT_TRUE(server.Accept());
  EXPECT_TRUE(server.PeerClosed());
  EXPECT_TRUE(session.events.empty()) << "no disconnected notification either";
}

}  // namespace
}  // namespace vantrel
