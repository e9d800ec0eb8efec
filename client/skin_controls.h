// The window's drawn control kinds: TImage, a windowless picture that paints
// a PNG (stretched, at its own size or scaled down in proportion); TPanel, a
// panel that paints its background, an optional raised bevel and a centred
// caption; TElidedLabel, a label that cuts a text too long for it with "…".
// GUI thread only; they hold no state beyond what they show.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

class TImage : public QWidget {
  Q_OBJECT

 public:
  enum class Fit { Stretch, OwnSize, Proportional };

  TImage(QWidget* parent, const QString& picture_path, Fit fit);

  const QPixmap& Picture() const { return picture_; }
  Fit PictureFit() const { return fit_; }
  // Where the picture lands inside a control of `size`.
  QRect PictureRect(QSize size) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // A press is taken by the picture, so the release and the moves of the same
  // press come back to it.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QPixmap picture_;
  Fit fit_;
};

class TPanel : public QWidget {
  Q_OBJECT

 public:
  TPanel(QWidget* parent, const QColor& colour, bool raised_bevel);

  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QColor colour_;
  bool raised_bevel_;
  QString caption_;
};

// A label showing as much of its text as fits its width, ending in "…"
// where it is cut; the tool tip holds the whole text.
class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  TElidedLabel(const QString& text, QWidget* parent);

  // Sets the text and the tool tip.
  void SetText(const QString& text);
  // The text as shown at the label's present width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
