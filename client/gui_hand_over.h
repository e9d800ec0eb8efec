// The one hand-over from a worker thread to the GUI thread: a worker runs
// work on the GUI thread and waits until it is done or the hand-over is
// closed; once closed, no work is ever carried out. The control session's
// reader and the UDP listener's threads both deliver through it.
// Run belongs to worker threads, the rest to the GUI thread (Session: any
// thread). It touches nothing but its context object's event queue.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vantrel {

// Work belongs to a session: once that session has ended, its work is
// dropped when its turn comes, so a reply queued before a disconnect never
// acts on the window of the next session. Once closed, no further work is
// carried out and every waiting worker returns at once, so no worker ever
// waits for a GUI thread that has stopped serving it.
class GuiHandOver {
 public:
  using SessionId = uint64_t;

  // `gui_context` lives on the GUI thread; work runs in its event loop, and
  // work still queued when it goes is discarded.
  explicit GuiHandOver(QObject* gui_context);

  // The current session, and its end (a new one begins).
  SessionId Session() const;
  void EndSession();

  // Worker thread: runs `work` (which keeps copies of what it uses) on the
  // GUI thread and returns true when it has been done; false when `session`
  // had ended or the hand-over was closed, before or meanwhile.
  bool Run(SessionId session, std::function<void()> work);
  // GUI thread. Further calls do nothing.
  void Close();

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable done_or_closed;
    bool closed = false;
    SessionId session = 0;
  };
  QObject* context_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace vantrel
