// TMaskEdit: a single-line edit whose text always follows a digit template
// such as "!099.099.099.099;1; " (digit places, literal characters, the blank
// that stands for a missing digit, and with "!" missing digits as leading
// blanks). Typing overwrites digit places and steps over the literals; any
// text given to it is formatted by the template. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QString>

namespace vantrel {

// A parsed template: one entry per text position, either a literal character
// or a digit place.
struct EditMask {
  QString literals;  // the literal character at each position, or QChar() for a digit place
  QChar blank = u' ';
  bool leading_blanks = false;

  int Length() const { return static_cast<int>(literals.size()); }
  bool IsDigitPlace(int position) const { return literals[position].isNull(); }
};

// Reads a template "<places>;<save literals>;<blank>". Digit places are "0"
// (required) and "9" (optional); "\" makes the next character a literal; "!"
// puts missing digits first. The text always keeps its literals.
EditMask ParseEditMask(const QString& mask);

// The template text for `value`: the value is cut into groups at the
// template's literals, each group keeps its digits (at most as many as it has
// places) and is filled with blanks, at the front with "!", else at the end.
QString FormatMaskText(const EditMask& mask, const QString& value);

// True when `text` has the template's length, its literals, and only digits
// or blanks in its digit places.
bool FitsMask(const EditMask& mask, const QString& text);

}  // namespace vantrel

class TMaskEdit : public QLineEdit {
  Q_OBJECT

 public:
  TMaskEdit(QWidget* parent, const QString& edit_mask);

  // Sets the text formatted by the template (hides QLineEdit's own setText).
  void setText(const QString& text);
  // The template with every digit place blank.
  void clear();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Replaces positions [start, start + length) by `text` as a user edit.
  void Overwrite(int start, int length, const QString& text);
  // Blanks the digit places of [start, start + length), keeping the literals.
  void BlankRange(int start, int length);
  void TypeCharacter(QChar character);
  void EraseBackward();
  void EraseForward();
  // Edits that bypassed the key handling (context menu, input method) are
  // formatted again.
  void KeepTemplateShape();

  vantrel::EditMask mask_;
};
