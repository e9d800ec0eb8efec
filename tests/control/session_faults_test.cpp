// The session in the window as a user meets it, against a scripted device on
// loopback and the fake engine: the PIN typed into the real window down to
// the login bytes, minimise and restore during a session, a reply still on
// its way when the user disconnects, a preview that cannot draw, and a
// device name too long for its label.
#include <QTest>

#include "tests/control/session_fixture.h"

namespace sessiontest {
namespace {

const QString kUnavailable = "Preview unavailable on this display. The camera keeps working.";

TEST_F(SessionWindowTest, APinTypedIntoTheWindowIsTheLoginLine) {
  form->ShowPinCode("");
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::mouseClick(form->PinPanel1, Qt::LeftButton);
  ASSERT_EQ(QApplication::focusWidget(), form->PinEdit1);
  const auto type = [](auto key) { QTest::keyClick(QApplication::focusWidget(), key); };
  // 4, 7, 2; Backspace empties box 4 and opens box 3; Backspace empties box 3
  // and opens box 2; 1 replaces the 7; Enter connects with two digits.
  type('4');
  type('7');
  type('2');
  type(Qt::Key_Backspace);
  type(Qt::Key_Backspace);
  type('1');
  type(Qt::Key_Return);
  ASSERT_TRUE(server.Accept());
  EXPECT_EQ(server.Received(24, 1000), "name=KXD-123&pass=41\r\n");
  EXPECT_TRUE(MainPanelInFront());
}

TEST_F(SessionWindowTest, MinimiseAndRestoreKeepTheSessionInFront) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  form->showMinimized();
  Settle(100);
  form->showNormal();
  Settle(200);
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn()}));
  // The disconnect picture, in front, still ends the session.
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  ExpectLoginState();
}

TEST_F(SessionWindowTest, AReplyOnItsWayWhenTheUserDisconnectsIsDropped) {
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  QThread::msleep(300);  // the GUI thread is busy: the reader waits with its reply
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  Settle(200);
  ExpectLoginState();
  EXPECT_TRUE(EngineCalls().empty()) << "nothing of the ended session reaches the engine";
  // The next session starts from the beginning, with its own size.
  form->DeviceIPEdit->setText("127.0.0.1");
  form->ShowPinCode("4711");
  LogIn();
  ASSERT_TRUE(server.Send("OK=640x480\n"));
  ASSERT_TRUE(WaitForCalls(2));
  Settle(100);
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(640, 480), PlayOn()}));
}

TEST_F(SessionWindowTest, APreviewThatCannotDrawIsSaidInWordsAndTheCameraGoesOn) {
  testsupport::FakeEngineLog::SetResult("strova_playon", 0);
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  Settle(100);
  unsetenv("FAKE_ENGINE_RESULT_strova_playon");
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn()})) << "the output keeps running";
  EXPECT_TRUE(form->ConnectionOpen());
  EXPECT_TRUE(MainPanelInFront());
  EXPECT_EQ(form->DisplayPanel->Caption(), kUnavailable);
  // The next accepted reply attaches the preview after all.
  ASSERT_TRUE(server.Send("OK=\n"));
  ASSERT_TRUE(WaitForCalls(3));
  EXPECT_EQ(form->DisplayPanel->Caption(), "Preview");
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  ExpectLoginState();
}

TEST_F(SessionWindowTest, TheUnavailablePreviewTextGoesWithTheSession) {
  testsupport::FakeEngineLog::SetResult("strova_playon", 0);
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  Settle(100);
  unsetenv("FAKE_ENGINE_RESULT_strova_playon");
  ASSERT_EQ(form->DisplayPanel->Caption(), kUnavailable);
  form->BackImgMouseUp(form->BackImg, Qt::LeftButton, {}, 0, 0);
  ExpectLoginState();
  EXPECT_EQ(form->DisplayPanel->Caption(), "Preview");
}

TEST_F(SessionWindowTest, ALongDeviceNameIsCutWithAnEllipsisAndShownInFullAsToolTip) {
  const QString name = "Vantrel Demo Camera";
  form->DeviceIDComboBox->addItem(name);
  form->DeviceIDComboBox->setCurrentIndex(0);
  LogIn();
  TElidedLabel* label = form->ConnectedBoxLabel;
  const QString shown = label->ShownText();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(name.startsWith(shown.chopped(1)));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  EXPECT_EQ(label->toolTip(), name);
  // A wider window gives the label room for the whole name.
  form->ResizeWindow(900, 600);
  EXPECT_EQ(label->ShownText(), name);
}

}  // namespace
}  // namespace sessiontest
