// Test support for the client window: the application object (offscreen on a
// 1920x1080 screen unless a test chose another platform), a window whose
// connection test the test decides, and synthetic pointer events.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <string>

#include "client/VantrelUnit.h"
#include "client/engine_binding.h"

namespace windowtest {

inline QApplication& Application() {
  vantrel::AnnouncementPort = 0;  // each window listens on a free port of its own
  static int argc = 1;
  static char name[] = "window_test";
  static char* argv[] = {name, nullptr};
  if (!qApp) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
      const std::string config = VANTREL_TESTS_DIR "window/screen-1920x1080.json";
      qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());
    }
    new QApplication(argc, argv);  // lives until the test process ends
  }
  return *static_cast<QApplication*>(qApp);
}

// The window, with the control connection stood in for by `connected`.
class TestForm : public TVantrelForm {
 public:
  bool connected = false;
  using TVantrelForm::GetPinCode;
  using TVantrelForm::ResizeWindow;
  using TVantrelForm::ShowPinCode;

 protected:
  bool ConnectionOpen() const override { return connected; }
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    vantrel::EngineLoaded = true;  // the show handler then reports nothing
    form = std::make_unique<TestForm>();
  }
  void TearDown() override { form.reset(); }

  void ShowActive() {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QCoreApplication::processEvents();
  }

  std::unique_ptr<TestForm> form;
};

// Sends one pointer event to `control` for the pointer at `screen` (global)
// position, as the window system would deliver it at that moment.
inline void SendMouse(QWidget* control, QEvent::Type type, QPoint screen, Qt::MouseButton button, Qt::MouseButtons held,
                      Qt::KeyboardModifiers keys = Qt::NoModifier) {
  const QPointF local = control->mapFromGlobal(QPointF(screen));
  QMouseEvent event(type, local, local, QPointF(screen), button, held, keys);
  QApplication::sendEvent(control, &event);
}

}  // namespace windowtest
