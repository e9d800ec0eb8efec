// The GUI hand-over (see gui_hand_over.h).
#include "client/gui_hand_over.h"

#include <QMetaObject>

namespace vantrel {

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

}  // namespace vantrel
