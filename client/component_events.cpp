// The window's event binder (see component_events.h).
#include "client/component_events.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {

TShiftState ShiftOf(const QMouseEvent* event, bool double_click) {
  return {event->buttons(), event->modifiers(), double_click};
}

// The character a key press types, as a character-message handler sees it.
bool TypedCharacter(const QKeyEvent* event, QChar& character) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      character = QChar(13);
      return true;
    case Qt::Key_Backspace:
      character = QChar(8);
      return true;
    default:
      if (event->text().size() != 1) return false;
      character = event->text()[0];
      return true;
  }
}

}  // namespace

bool TShiftState::IsLeftButtonOnly() const {
  return Buttons == Qt::LeftButton && !(Keys & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) &&
         !DoubleClick;
}

namespace vantrel {

ComponentEvents& ComponentEventBinder::On(QObject* component) {
  component->installEventFilter(this);
  return events_[component];
}

// Pointer positions are taken from each event's screen position: the
// window-relative one is stale once the window has moved after the event was
// queued.
bool ComponentEventBinder::eventFilter(QObject* watched, QEvent* event) {
  const auto found = events_.find(watched);
  if (found == events_.end()) return QObject::eventFilter(watched, event);
  const ComponentEvents& on = found->second;
  auto* control = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = control->mapFromGlobal(mouse->globalPosition()).toPoint();
      if (on.MouseDown && control->isEnabled())
        on.MouseDown(watched, mouse->button(), ShiftOf(mouse, event->type() == QEvent::MouseButtonDblClick), at.x(),
                     at.y());
      break;
    }
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = control->mapFromGlobal(mouse->globalPosition()).toPoint();
      if (on.MouseMove && control->isEnabled()) on.MouseMove(watched, ShiftOf(mouse, false), at.x(), at.y());
      // A pressed button keeps the moves coming to this control even when the
      // pointer, after the window has followed it or not, is off the control:
      // it has left the control all the same.
      const QPoint now = control->mapFromGlobal(mouse->globalPosition()).toPoint();
      if (on.MouseLeave && !control->rect().contains(now)) on.MouseLeave(watched);
      break;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = control->mapFromGlobal(mouse->globalPosition()).toPoint();
      if (!control->isEnabled() || !control->rect().contains(at)) break;
      if (on.MouseUp) on.MouseUp(watched, mouse->button(), ShiftOf(mouse, false), at.x(), at.y());
      if (on.Click && mouse->button() == Qt::LeftButton) on.Click(watched);
      break;
    }
    case QEvent::Leave:
      if (on.MouseLeave) on.MouseLeave(watched);
      break;
    case QEvent::FocusOut: {
      // Switching to another application is not leaving the control.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (on.Exit && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) on.Exit(watched);
      break;
    }
    case QEvent::KeyPress: {
      QChar key;
      if (on.KeyPress && TypedCharacter(static_cast<QKeyEvent*>(event), key)) on.KeyPress(watched, key);
      break;
    }
    default:
      break;
  }
  return false;
}

}  // namespace vantrel
