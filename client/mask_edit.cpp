// TMaskEdit and its template functions (see mask_edit.h).
#include "client/mask_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <algorithm>

namespace vantrel {

EditMask ParseEditMask(const QString& mask) {
  EditMask parsed;
  const QStringList sections = mask.split(u';');
  if (sections.size() > 2 && !sections[2].isEmpty()) parsed.blank = sections[2][0];
  const QString& places = sections[0];
  for (qsizetype i = 0; i < places.size(); ++i) {
    const QChar c = places[i];
    if (c == u'!') {
      parsed.leading_blanks = true;
    } else if (c == u'0' || c == u'9') {
      parsed.literals += QChar();
    } else if (c == u'\\' && i + 1 < places.size()) {
      parsed.literals += places[++i];
    } else {
      parsed.literals += c;
    }
  }
  return parsed;
}

QString FormatMaskText(const EditMask& mask, const QString& value) {
  QString text;
  qsizetype read = 0;  // where the value's next group starts
  for (int position = 0; position < mask.Length();) {
    if (!mask.IsDigitPlace(position)) {
      text += mask.literals[position++];
      continue;
    }
    int places = 0;
    while (position + places < mask.Length() && mask.IsDigitPlace(position + places)) ++places;
    // The group of the value runs to the literal that ends this group of places.
    const int end = position + places;
    qsizetype group_end = value.size();
    if (end < mask.Length()) {
      const qsizetype found = value.indexOf(mask.literals[end], read);
      if (found >= 0) group_end = found;
    }
    QString digits;
    for (qsizetype i = read; i < group_end && digits.size() < places; ++i) {
      if (value[i].isDigit() && value[i].unicode() < 128) digits += value[i];
    }
    read = std::min(group_end + 1, value.size());
    const QString padding(places - digits.size(), mask.blank);
    text += mask.leading_blanks ? padding + digits : digits + padding;
    position = end;
  }
  return text;
}

bool FitsMask(const EditMask& mask, const QString& text) {
  if (text.size() != mask.Length()) return false;
  for (int i = 0; i < mask.Length(); ++i) {
    const QChar c = text[i];
    const bool fits = mask.IsDigitPlace(i) ? (c == mask.blank || (c >= u'0' && c <= u'9')) : c == mask.literals[i];
    if (!fits) return false;
  }
  return true;
}

}  // namespace vantrel

TMaskEdit::TMaskEdit(QWidget* parent, const QString& edit_mask)
    : QLineEdit(parent), mask_(vantrel::ParseEditMask(edit_mask)) {
  setMaxLength(mask_.Length());
  setDragEnabled(false);
  setAcceptDrops(false);
  clear();
  connect(this, &QLineEdit::textEdited, this, &TMaskEdit::KeepTemplateShape);
}

void TMaskEdit::setText(const QString& text) { QLineEdit::setText(vantrel::FormatMaskText(mask_, text)); }

void TMaskEdit::clear() { setText(QString()); }

void TMaskEdit::Overwrite(int start, int length, const QString& text) {
  setSelection(start, length);
  insert(text);
}

void TMaskEdit::BlankRange(int start, int length) {
  QString blanked;
  for (int i = start; i < start + length; ++i) blanked += mask_.IsDigitPlace(i) ? mask_.blank : mask_.literals[i];
  Overwrite(start, length, blanked);
  setCursorPosition(start);
}

void TMaskEdit::TypeCharacter(QChar character) {
  int position = cursorPosition();
  if (hasSelectedText()) {
    position = selectionStart();
    BlankRange(position, static_cast<int>(selectedText().size()));
  }
  if (!(character >= u'0' && character <= u'9')) {
    // A literal typed jumps past its next place in the template.
    const qsizetype literal = mask_.literals.indexOf(character, position);
    if (literal >= 0) setCursorPosition(static_cast<int>(literal) + 1);
    return;
  }
  while (position < mask_.Length() && !mask_.IsDigitPlace(position)) ++position;
  if (position >= mask_.Length()) return;
  Overwrite(position, 1, QString(character));
}

void TMaskEdit::EraseBackward() {
  if (hasSelectedText()) return BlankRange(selectionStart(), static_cast<int>(selectedText().size()));
  int position = cursorPosition() - 1;
  while (position >= 0 && !mask_.IsDigitPlace(position)) --position;
  if (position >= 0) BlankRange(position, 1);
}

void TMaskEdit::EraseForward() {
  if (hasSelectedText()) return BlankRange(selectionStart(), static_cast<int>(selectedText().size()));
  int position = cursorPosition();
  while (position < mask_.Length() && !mask_.IsDigitPlace(position)) ++position;
  if (position < mask_.Length()) BlankRange(position, 1);
}

void TMaskEdit::KeepTemplateShape() {
  if (vantrel::FitsMask(mask_, text())) return;
  const int position = cursorPosition();
  setText(text());
  setCursorPosition(position);
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Paste) {
    setText(QApplication::clipboard()->text());
  } else if (event == QKeySequence::Cut) {
    copy();
    EraseForward();
  } else if (event->key() == Qt::Key_Backspace) {
    EraseBackward();
  } else if (event->key() == Qt::Key_Delete) {
    EraseForward();
  } else if (event->text().size() == 1 && event->text()[0].isPrint() &&
             !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    TypeCharacter(event->text()[0]);
  } else {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
}
