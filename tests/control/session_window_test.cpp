// The control session in the window, against a scripted device on loopback,
// with the engine's calls observed through the fake engine: login bytes,
// accepted replies and the preview switching, refusals, invalid replies,
// disconnect, close, lost connection and failed connects.
#include "tests/control/session_fixture.h"

namespace sessiontest {
namespace {

TEST_F(SessionWindowTest, TheLoginLineIsAllThatIsSent) {
  LogIn();
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_TRUE(form->MaximizeImg->isEnabled());
  EXPECT_FALSE(form->ConnectBtn->isEnabled());
  Settle(300);
  EXPECT_EQ(server.Received(ExpectedLogin().size() + 1, 200), ExpectedLogin());
  EXPECT_TRUE(EngineCalls().empty());
}

class AcceptedReply : public SessionWindowTest, public testing::WithParamInterface<std::pair<std::string, QSize>> {};

TEST_P(AcceptedReply, StartsTheOutputAndAttachesThePreview) {
  LogIn();
  ASSERT_TRUE(server.Send(GetParam().first));
  ASSERT_TRUE(WaitForCalls(2));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(GetParam().second.width(), GetParam().second.height()), PlayOn()}));
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_TRUE(form->IdThreadComponent1.Active());
}

INSTANTIATE_TEST_SUITE_P(Table, AcceptedReply,
                         testing::Values(std::pair{std::string("OK=1280x720\n"), QSize(1280, 720)},
                                         std::pair{std::string("OK=1280x720\r\n"), QSize(1280, 720)},
                                         std::pair{std::string("OK=1280X720\n"), QSize(1280, 720)},
                                         std::pair{std::string("OK=\n"), QSize(1920, 1080)}));

class RefusedReply : public SessionWindowTest, public testing::WithParamInterface<std::string> {};

TEST_P(RefusedReply, DisconnectsAndResetsTheWindow) {
  LogIn();
  ASSERT_TRUE(server.Send(GetParam()));
  ASSERT_TRUE(ReaderEnded());  // the disconnect runs on this (the GUI) thread
  EXPECT_TRUE(server.PeerClosed());
  ExpectLoginState();
  EXPECT_TRUE(EngineCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedReply, testing::Values("ok=1280x720\n", " OK=1280x720\n", "wrong pin\n"));

TEST_F(SessionWindowTest, ATrailingBlankEndsTheReaderWithTheConnectionOpen) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720 \nOK=1280x720\n"));
  ASSERT_TRUE(ReaderEnded());
  Settle(200);
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_FALSE(server.PeerClosed(100));
  EXPECT_TRUE(EngineCalls().empty());
  // The disconnect picture still ends the session.
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  ExpectLoginState();
}

TEST_F(SessionWindowTest, BlankLinesAndSilencesAreIgnored) {
  LogIn();
  ASSERT_TRUE(server.Send("\n  \n\r\n"));
  Settle(1200);
  ASSERT_TRUE(server.Send(" \t \nOK=640x480\n"));
  ASSERT_TRUE(WaitForCalls(2));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(640, 480), PlayOn()}));
}

TEST_F(SessionWindowTest, EveryFurtherAcceptedReplySwitchesThePreview) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\nOK=640x480\n"));
  ASSERT_TRUE(WaitForCalls(3));
  Settle(100);
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), "strova_playoff"}));
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitForCalls(4));
  Settle(100);
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), "strova_playoff", PlayOn()}));
}

TEST_F(SessionWindowTest, TheDisconnectPictureEndsTheOutputOnce) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  form->MaximizeImgMouseUp(form->MaximizeImg, Qt::LeftButton, {}, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return form->isMaximized(); }));
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  EXPECT_FALSE(form->IdThreadComponent1.Active());
  ExpectLoginState();
  EXPECT_TRUE(server.PeerClosed());
  form->close();
  form.reset();
  EXPECT_EQ(log.CallsOf("strova_endoutput").size(), 1u);
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), "strova_endoutput"}));
}

TEST_F(SessionWindowTest, ClosingTheWindowWhileStreamingEndsTheOutputOnce) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  form->close();
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), "strova_endoutput"}));
  EXPECT_TRUE(server.PeerClosed());
  form.reset();
  EXPECT_EQ(log.CallsOf("strova_endoutput").size(), 1u);
}

TEST_F(SessionWindowTest, ClosingWhileTheReaderWaitsForTheGuiThread) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  QThread::msleep(300);  // no events processed: the reader waits with its reply
  form->close();
  form.reset();  // joins the reader; must not hang
  Settle(100);
  EXPECT_TRUE(EngineCalls().empty()) << "no hand-over is carried out after the close query";
}

TEST_F(SessionWindowTest, ALostConnectionResetsTheWindow) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  server.CloseConnection();
  ASSERT_TRUE(ReaderEnded());
  ExpectLoginState();
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), "strova_endoutput"}));
}

TEST_F(SessionWindowTest, AFailedStartIsEndedAndTriedAgain) {
  testsupport::FakeEngineLog::SetResult("strova_startoutput", 0);
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  Settle(100);
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), "strova_endoutput"}));
  unsetenv("FAKE_ENGINE_RESULT_strova_startoutput");
  ASSERT_TRUE(server.Send("OK=640x480\n"));
  ASSERT_TRUE(WaitForCalls(4));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), "strova_endoutput", StartOutput(640, 480), PlayOn()}));
}

TEST_F(SessionWindowTest, AFailedPreviewIsTriedAgain) {
  testsupport::FakeEngineLog::SetResult("strova_playon", 0);
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\nOK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(3));
  Settle(100);
  unsetenv("FAKE_ENGINE_RESULT_strova_playon");
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn(), PlayOn()}));
}

TEST_F(SessionWindowTest, ConnectWhileOpenOnlyDisablesTheButton) {
  LogIn();
  form->ConnectBtn->setEnabled(true);
  PressConnect();
  EXPECT_FALSE(form->ConnectBtn->isEnabled());
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_FALSE(server.Accept(300)) << "no second connection";
}

TEST_F(SessionWindowTest, ASecondSessionAfterARefusalLogsInAgain) {
  LogIn();
  ASSERT_TRUE(server.Send("no\n"));
  ASSERT_TRUE(ReaderEnded());
  form->DeviceIPEdit->setText("127.0.0.1");
  form->ShowPinCode("4711");
  LogIn();
  EXPECT_TRUE(form->IdThreadComponent1.Active());
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitForCalls(2));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1920, 1080), PlayOn()}));
}

TEST_F(SessionWindowTest, NothingListeningReenablesTheButton) {
  form->IdTCPClient1.Port = testsupport::UnusedLoopbackPort();
  const auto start = Clock::now();
  PressConnect();
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_TRUE(form->ConnectBtn->isEnabled());
  EXPECT_FALSE(MainPanelInFront());
  EXPECT_FALSE(form->ConnectionOpen());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SessionWindowTest, NothingAnsweringReenablesTheButtonAfterTheTimeLimit) {
  testsupport::UnansweringListener listener;
  ASSERT_TRUE(listener.full());
  form->IdTCPClient1.Port = listener.port();
  const auto start = Clock::now();
  PressConnect();
  const long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 4900);
  EXPECT_LE(elapsed, 5000 + 2000);
  EXPECT_TRUE(form->ConnectBtn->isEnabled());
  EXPECT_FALSE(MainPanelInFront());
  EXPECT_FALSE(form->ConnectionOpen());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace sessiontest
