// The window's event binder: turns the Qt events of bound components into
// calls of their handlers, in the handler forms of the window unit (mouse
// down, move, up and leave, click, exit, key press). GUI thread only; it
// owns no component and calls nothing but the bound handlers.
#pragma once

#include <QChar>
#include <QObject>
#include <functional>
#include <unordered_map>

// The mouse buttons and modifier keys held during a pointer event, and
// whether a press is the second press of a double-click.
struct TShiftState {
  Qt::MouseButtons Buttons;
  Qt::KeyboardModifiers Keys;
  bool DoubleClick = false;

  // The left button and nothing else: no other button, no Shift, Ctrl or Alt,
  // not a double-click.
  bool IsLeftButtonOnly() const;
};

namespace vantrel {

// Handlers of one component; each gets the component as Sender.
struct ComponentEvents {
  std::function<void(QObject*, Qt::MouseButton, TShiftState, int, int)> MouseDown;
  std::function<void(QObject*, TShiftState, int, int)> MouseMove;
  std::function<void(QObject*, Qt::MouseButton, TShiftState, int, int)> MouseUp;
  std::function<void(QObject*)> MouseLeave;
  std::function<void(QObject*)> Click;
  std::function<void(QObject*)> Exit;
  std::function<void(QObject*, QChar)> KeyPress;
};

class ComponentEventBinder : public QObject {
 public:
  // Watches `component` (a widget) and returns its handlers to fill in.
  ComponentEvents& On(QObject* component);

 protected:
  // Calls the bound handlers; the component's own handling of the event
  // follows in every case.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unordered_map<const QObject*, ComponentEvents> events_;
};

}  // namespace vantrel
