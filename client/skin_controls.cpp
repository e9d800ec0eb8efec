// TImage, TPanel and TElidedLabel (see skin_controls.h).
#include "client/skin_controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

TImage::TImage(QWidget* parent, const QString& picture_path, Fit fit)
    : QWidget(parent), picture_(picture_path), fit_(fit) {}

QRect TImage::PictureRect(QSize size) const {
  switch (fit_) {
    case Fit::Stretch:
      return QRect(QPoint(0, 0), size);
    case Fit::OwnSize:
      return QRect(QPoint(0, 0), picture_.deviceIndependentSize().toSize());
    case Fit::Proportional: {
      const QSize own = picture_.deviceIndependentSize().toSize();
      const bool fits = own.width() <= size.width() && own.height() <= size.height();
      return QRect(QPoint(0, 0), fits ? own : own.scaled(size, Qt::KeepAspectRatio));
    }
  }
  return {};
}

void TImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // A disabled picture takes no pointer events; it is shown dimmed so the
  // user can tell.
  if (!isEnabled()) painter.setOpacity(0.45);
  painter.drawPixmap(PictureRect(size()), picture_);
}

void TImage::mousePressEvent(QMouseEvent* event) { event->accept(); }
void TImage::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

TPanel::TPanel(QWidget* parent, const QColor& colour, bool raised_bevel)
    : QWidget(parent), colour_(colour), raised_bevel_(raised_bevel) {}

void TPanel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect();
  painter.fillRect(area, colour_);
  if (raised_bevel_) {
    painter.setPen(QColor(Qt::white));
    painter.drawLine(area.topLeft(), area.topRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomRight());
  }
  if (!caption_.isEmpty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, caption_);
  }
}

void TPanel::mousePressEvent(QMouseEvent* event) { event->accept(); }

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent) : QLabel(parent) { SetText(text); }

void TElidedLabel::SetText(const QString& text) {
  setText(text);
  setToolTip(text);
}

QString TElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(), ShownText(),
                        foregroundRole());
}
