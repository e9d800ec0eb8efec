// Waiting in Qt tests: processes GUI events on the calling (GUI) thread
// until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>

namespace testsupport {

// Processes GUI events until `done` holds; false after `timeout_ms`.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace testsupport
