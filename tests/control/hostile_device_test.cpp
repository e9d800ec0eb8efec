// A device that answers badly, or not at all, against the window and the
// fake engine: endless and garbage lines, NUL bytes, invalid UTF-8, sizes no
// picture has or the engine refuses, silence, a reset after "OK=" and a
// half-close. Each ends in a clean state: the session ended, or still
// waiting (the reader ended where the line or size was invalid), the GUI
// answering, and an output that was started ended with the session.
#include <random>

#include "tests/control/session_fixture.h"

namespace sessiontest {
namespace {

class HostileDeviceTest : public SessionWindowTest {
 protected:
  // The GUI thread still carries out posted work.
  bool GuiAnswers() {
    bool ran = false;
    QMetaObject::invokeMethod(
        form.get(), [&] { ran = true; }, Qt::QueuedConnection);
    return WaitFor([&] { return ran; }, 2000);
  }
  // The reader ended on an invalid line or size: the connection and the
  // connected panel stay until the user disconnects.
  void ExpectReaderEndedConnectionOpen() {
    ASSERT_TRUE(ReaderEnded());
    EXPECT_TRUE(form->ConnectionOpen());
    EXPECT_TRUE(MainPanelInFront());
    EXPECT_TRUE(GuiAnswers());
    form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
    ExpectLoginState();
  }
};

TEST_F(HostileDeviceTest, TenMegabytesWithoutANewlineEndTheReader) {
  LogIn();
  const size_t sent = server.SendFor(std::string(10 << 20, 'A'), 3000);
  EXPECT_GT(sent, vantrel::kMaxReplyLineBytes);
  ExpectReaderEndedConnectionOpen();
  EXPECT_TRUE(EngineCalls().empty());
}

TEST_F(HostileDeviceTest, GarbageAtAMegabyteASecondEndsTheSession) {
  LogIn();
  std::mt19937 random(7);
  std::string garbage(size_t{100} * 1024, '\0');
  for (int tenth = 0; tenth < 20; ++tenth) {
    for (char& byte : garbage) byte = static_cast<char>(random());
    if (server.SendFor(garbage, 200) < garbage.size()) break;  // the client has gone
    QThread::msleep(100);
  }
  // Random lines are refusals: the first one ends the session.
  ASSERT_TRUE(ReaderEnded());
  EXPECT_TRUE(GuiAnswers());
  ExpectLoginState();
  EXPECT_TRUE(EngineCalls().empty());
}

// Replies the reader gives up on, with the connection left open.
class InvalidReply : public HostileDeviceTest, public testing::WithParamInterface<std::string> {};

TEST_P(InvalidReply, EndsTheReaderAndStartsNothing) {
  LogIn();
  ASSERT_TRUE(server.Send(GetParam()));
  ExpectReaderEndedConnectionOpen();
  EXPECT_TRUE(EngineCalls().empty());
}

// A NUL byte inside the size.
const std::string kNulInSize = std::string("OK=640") + '\0' + "x480\n";

INSTANTIATE_TEST_SUITE_P(Table, InvalidReply,
                         testing::Values(kNulInSize, "OK=\xff\xfex1\n", "OK=-1x5\n", "OK=0x0\n", "OK=4294967297x2\n",
                                         "OK=1280x-720\n"));

// Refusals: any other non-blank line, NUL bytes and invalid UTF-8 among them.
class HostileRefusal : public HostileDeviceTest, public testing::WithParamInterface<std::string> {};

TEST_P(HostileRefusal, EndsTheSession) {
  LogIn();
  ASSERT_TRUE(server.Send(GetParam()));
  ASSERT_TRUE(ReaderEnded());
  EXPECT_TRUE(server.PeerClosed());
  ExpectLoginState();
  EXPECT_TRUE(EngineCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileRefusal,
                         testing::Values(std::string("\0OK=640x480\n", 12), "\xc3\x28\xff\n", "\x80OK=\n"));

TEST_F(HostileDeviceTest, LinesOfNulBytesAreBlank) {
  LogIn();
  ASSERT_TRUE(server.Send(std::string("\0\0\n\0 \r\n", 7) + "OK=640x480\n"));
  ASSERT_TRUE(WaitForCalls(2));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(640, 480), PlayOn()}));
}

TEST_F(HostileDeviceTest, ASizeTheEngineRefusesLeavesTheSessionWaiting) {
  // The engine gives no frame queue for sides above 8192; the fake engine
  // answers as it does.
  testsupport::FakeEngineLog::SetResult("strova_startoutput", 0);
  LogIn();
  ASSERT_TRUE(server.Send("OK=100000x100000\n"));
  ASSERT_TRUE(WaitForCalls(2));
  Settle(100);
  unsetenv("FAKE_ENGINE_RESULT_strova_startoutput");
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(100000, 100000), "strova_endoutput"}));
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_TRUE(form->IdThreadComponent1.Active());
  // A size the engine takes starts the output.
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(4));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(100000, 100000), "strova_endoutput", StartOutput(1280, 720), PlayOn()}));
}

TEST_F(HostileDeviceTest, ADeviceThatNeverAnswersKeepsTheSessionWaiting) {
  LogIn();
  Settle(1500);
  EXPECT_TRUE(form->IdThreadComponent1.Active());
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_TRUE(GuiAnswers());
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  ExpectLoginState();
  EXPECT_TRUE(server.PeerClosed());
  EXPECT_TRUE(EngineCalls().empty());
}

TEST_F(HostileDeviceTest, AResetAfterOkEndsTheOutputAndTheSession) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitForCalls(2));
  server.ResetConnection();
  ASSERT_TRUE(ReaderEnded());
  ExpectLoginState();
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1920, 1080), PlayOn(), "strova_endoutput"}));
}

TEST_F(HostileDeviceTest, AHalfCloseEndsTheOutputAndTheSession) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitForCalls(2));
  server.HalfClose();
  ASSERT_TRUE(ReaderEnded());
  ExpectLoginState();
  EXPECT_TRUE(server.PeerClosed());
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1920, 1080), PlayOn(), "strova_endoutput"}));
}

}  // namespace
}  // namespace sessiontest
