// Test support for the control session in the window: a window on the
// offscreen platform with the fake engine bound, a scripted device on a free
// loopback port as the device address, the PIN 4711 typed, and what the
// engine was asked. The test process runs in a network of its own where the
// machine's address is 192.168.1.23 (station name KXD-123). Used on the
// test's (the GUI) thread.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/VantrelUnit.h"
#include "client/control_session.h"
#include "client/engine_binding.h"
#include "client/mask_edit.h"
#include "tests/control/loopback_server.h"
#include "tests/support/fake_engine/fake_engine_log.h"
#include "tests/support/private_network.h"
#include "tests/support/qt_wait.h"
#include "tests/window/form_fixture.h"

namespace sessiontest {

inline testing::Environment* const kPrivateNetwork =
    testing::AddGlobalTestEnvironment(new testsupport::PrivateNetwork("192.168.1.23/24"));

using Clock = std::chrono::steady_clock;
using Calls = std::vector<std::string>;

inline long MillisecondsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Processes GUI events until `done` holds; false after `timeout_ms`.
using testsupport::WaitFor;

// Processes GUI events for `ms` milliseconds.
inline void Settle(int ms) {
  WaitFor([] { return false; }, ms);
}

class SessionForm : public TVantrelForm {
 public:
  using TVantrelForm::ConnectionOpen;
  using TVantrelForm::GetPinCode;
  using TVantrelForm::ResizeWindow;
  using TVantrelForm::ShowPinCode;
};

class SessionWindowTest : public testing::Test {
 protected:
  // The scripted device listens on `device_port` (0: a free port).
  explicit SessionWindowTest(uint16_t device_port = 0) : server(device_port) {}

  void SetUp() override {
    if (!testsupport::PrivateNetwork::Entered()) GTEST_SKIP() << "needs a network of its own (run as root)";
    windowtest::Application();
    vantrel::AnnouncementPort = 0;  // the window listens for announcements on a free port
    static const bool loaded = (vantrel::LoadMediaEngine(FAKE_ENGINE_DIR), vantrel::EngineLoaded);
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(server.listening());
    form = std::make_unique<SessionForm>();
    form->show();
    QCoreApplication::processEvents();
    // A free port stands in for the device's own.
    if (server.port() != vantrel::kControlPort) form->IdTCPClient1.Port = server.port();
    form->DeviceIPEdit->setText("127.0.0.1");
    form->ConnectBtn->setEnabled(true);
    form->ShowPinCode("4711");
    play_on = "strova_playon " + std::to_string(form->DisplayPanel->winId());
  }
  void TearDown() override {
    if (form) {
      form->close();
      form.reset();
    }
  }

  void PressConnect() { form->ConnectBtnMouseUp(form->ConnectBtn, Qt::LeftButton, {}, 0, 0); }
  static std::string ExpectedLogin() { return "name=KXD-123&pass=4711\r\n"; }
  // Connects and takes the login line at the device.
  void LogIn() {
    PressConnect();
    ASSERT_TRUE(form->ConnectionOpen());
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.Received(ExpectedLogin().size()), ExpectedLogin());
  }
  bool MainPanelInFront() const {
    const QObjectList& stack = form->MainPanel->parent()->children();
    return stack.indexOf(form->MainPanel) > stack.indexOf(form->LoginPanel);
  }
  // The engine calls after strova_init.
  Calls EngineCalls() const {
    Calls calls = log.Calls();
    if (!calls.empty() && calls.front().starts_with("strova_init")) calls.erase(calls.begin());
    return calls;
  }
  bool WaitForCalls(size_t count) {
    return WaitFor([&] { return EngineCalls().size() >= count; });
  }
  std::string StartOutput(int width, int height) const {
    return "strova_startoutput 0 null 51035 video/x-raw " + std::to_string(width) + " " + std::to_string(height) +
           " 30 1";
  }
  std::string PlayOn() const { return play_on; }
  bool ReaderEnded() {
    return WaitFor([&] { return !form->IdThreadComponent1.Active(); });
  }
  // The login state after a session ended.
  void ExpectLoginState() {
    EXPECT_FALSE(form->ConnectionOpen());
    EXPECT_FALSE(MainPanelInFront());
    EXPECT_TRUE(form->ConnectBtn->isEnabled());
    EXPECT_FALSE(form->MaximizeImg->isEnabled());
    EXPECT_EQ(form->size(), QSize(460, 360));
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(form->DeviceIDComboBox->count(), 0);
    EXPECT_EQ(form->DeviceIPEdit->text().remove(QChar(0x20)).remove(QChar(0x2e)), QString());
    EXPECT_EQ(form->GetPinCode(), "");
  }

  testsupport::FakeEngineLog log;
  testsupport::LoopbackServer server;
  std::unique_ptr<SessionForm> form;
  std::string play_on;  // the preview call naming DisplayPanel's native window
};

}  // namespace sessiontest
