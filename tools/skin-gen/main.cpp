// skin-gen: draws the client window's skin pictures (frame pieces, logo,
// window-button glyphs, disconnect disc, Connect button) as PNG files into a
// folder, normally client/skin. Single-threaded; touches only that folder.
// Usage: skin-gen <output-folder>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

const QColor kMagenta(211, 95, 174);
const QColor kPurple(152, 76, 156);
const QSize kWindow(460, 360);
// The frame's opaque shape is rounded a little less than the window's clip
// region (diameter 64), so the clip's edge always cuts through frame colour.
const double kFrameRadius = 29;

QImage Transparent(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QFont Face(int pixel_size, QFont::Weight weight) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixel_size);
  font.setWeight(weight);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

// The whole frame at twice the window's design size. Its features either sit
// inside one corner piece or run unchanged along the direction in which the
// edge pieces stretch, so every piece stretches without distortion.
QImage DrawFrame() {
  QImage frame = Transparent(kWindow * 2);
  QPainter p(&frame);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(QPointF(0, 0), kWindow), kFrameRadius, kFrameRadius);
  p.setClipPath(outline);

  QLinearGradient across(0, 0, kWindow.width(), 0);
  across.setColorAt(0, kMagenta);
  across.setColorAt(1, kPurple);
  p.fillRect(QRectF(QPointF(0, 0), kWindow), across);

  // Light from above, a little shade towards the bottom.
  QLinearGradient down(0, 0, 0, kWindow.height());
  down.setColorAt(0, QColor(255, 255, 255, 46));
  down.setColorAt(0.2, QColor(255, 255, 255, 0));
  down.setColorAt(0.8, QColor(0, 0, 0, 0));
  down.setColorAt(1, QColor(40, 0, 50, 40));
  p.fillRect(QRectF(QPointF(0, 0), kWindow), down);

  // Translucent rounded bands, each within one corner piece.
  struct Band {
    QPointF centre;
    double radius;
    int fill_alpha;
    int ring_alpha;
  };
  const Band bands[] = {
      {{-18, -46}, 112, 22, 34},  // upper left
      {{20, 40}, 58, 0, 26},      // upper left, inner ring
      {{438, 6}, 118, 18, 30},    // upper right
      {{392, -58}, 100, 0, 22},   // upper right, second ring
      {{474, 384}, 128, 16, 26},  // lower right
      {{-14, 386}, 92, 14, 22},   // lower left
  };
  for (const Band& band : bands) {
    p.setPen(band.ring_alpha ? QPen(QColor(255, 255, 255, band.ring_alpha), 2.5) : Qt::NoPen);
    p.setBrush(band.fill_alpha ? QBrush(QColor(255, 255, 255, band.fill_alpha)) : Qt::NoBrush);
    p.drawEllipse(band.centre, band.radius, band.radius);
  }
  // A fine bright rim along the outer edge.
  p.setClipping(false);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 70), 1));
  p.drawRoundedRect(QRectF(0.5, 0.5, kWindow.width() - 1, kWindow.height() - 1), kFrameRadius, kFrameRadius);
  return frame;
}

// Keeps only the coverage of a white drawing: a palette of `levels` whites
// from transparent to opaque.
QImage WhitePalette(const QImage& drawing, int levels) {
  QImage indexed(drawing.size(), QImage::Format_Indexed8);
  QList<QRgb> colours;
  for (int i = 0; i < levels; ++i) colours.append(qRgba(255, 255, 255, i * 255 / (levels - 1)));
  indexed.setColorTable(colours);
  const QImage straight = drawing.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < drawing.height(); ++y) {
    for (int x = 0; x < drawing.width(); ++x) {
      const int alpha = qAlpha(straight.pixel(x, y));
      indexed.setPixel(x, y, static_cast<uint>(std::lround(alpha * (levels - 1) / 255.0)));
    }
  }
  return indexed;
}

QImage DrawLogo() {
  QImage logo = Transparent({100, 44});
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2.6));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(13, 22), 10, 10);  // lens
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(13, 22), 4, 4);
  p.drawEllipse(QPointF(20, 14.5), 1.6, 1.6);  // glint
  p.setFont(Face(20, QFont::Bold));
  p.setPen(Qt::white);
  p.drawText(QRectF(27, 0, 73, 44), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Vantrel"));
  return WhitePalette(logo, 64);
}

enum class Glyph { Close, Minimize, Maximize };

QImage DrawGlyph(Glyph glyph) {
  QImage image = Transparent({14, 14});
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  switch (glyph) {
    case Glyph::Close:
      p.drawLine(QPointF(2.5, 2.5), QPointF(11.5, 11.5));
      p.drawLine(QPointF(11.5, 2.5), QPointF(2.5, 11.5));
      break;
    case Glyph::Minimize:
      p.drawLine(QPointF(2, 10.5), QPointF(12, 10.5));
      break;
    case Glyph::Maximize:
      p.drawRoundedRect(QRectF(2.5, 2.5, 9, 9), 1.5, 1.5);
      p.drawLine(QPointF(2.5, 4.5), QPointF(11.5, 4.5));
      break;
  }
  return WhitePalette(image, 16);
}

// A hang-up handset, lying on its back, centred in a box of `width`.
QPainterPath Handset(double width) {
  const double w = width, h = width * 0.42;
  QPainterPath handset;
  handset.moveTo(0.02 * w, 0.62 * h);
  handset.cubicTo(0.10 * w, -0.10 * h, 0.90 * w, -0.10 * h, 0.98 * w, 0.62 * h);  // outer arch
  handset.cubicTo(1.00 * w, 0.80 * h, 0.96 * w, 0.98 * h, 0.86 * w, 1.00 * h);    // right end
  handset.lineTo(0.74 * w, 0.96 * h);
  handset.cubicTo(0.68 * w, 0.94 * h, 0.66 * w, 0.84 * h, 0.68 * w, 0.60 * h);
  handset.cubicTo(0.56 * w, 0.50 * h, 0.44 * w, 0.50 * h, 0.32 * w, 0.60 * h);  // inner arch
  handset.cubicTo(0.34 * w, 0.84 * h, 0.32 * w, 0.94 * h, 0.26 * w, 0.96 * h);
  handset.lineTo(0.14 * w, 1.00 * h);
  handset.cubicTo(0.04 * w, 0.98 * h, 0.00 * w, 0.80 * h, 0.02 * w, 0.62 * h);  // left end
  handset.closeSubpath();
  return handset;
}

QImage DrawBackDisc() {
  QImage image = Transparent({128, 128});
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(64, 64);
  QRadialGradient red(QPointF(56, 44), 76);
  red.setColorAt(0, QColor(247, 92, 88));
  red.setColorAt(1, QColor(196, 28, 42));
  p.setPen(QPen(QColor(160, 18, 32), 2));
  p.setBrush(red);
  p.drawEllipse(centre, 60, 60);
  // Gloss on the upper half.
  QLinearGradient gloss(0, 6, 0, 64);
  gloss.setColorAt(0, QColor(255, 255, 255, 90));
  gloss.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(gloss);
  p.drawEllipse(QRectF(22, 8, 84, 54));
  p.translate(26, 50);
  p.setBrush(Qt::white);
  p.drawPath(Handset(76));
  return image;
}

QImage DrawConnectButton() {
  QImage image = Transparent({202, 62});
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(3, 2, 196, 54);
  // Soft shadow under the button.
  for (int i = 3; i >= 1; --i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 30, 90, 18 * i));
    p.drawRoundedRect(body.adjusted(i - 1, 2 + i, 1 - i, 2 + i), 27, 27);
  }
  QLinearGradient across(body.left(), 0, body.right(), 0);
  across.setColorAt(0, kMagenta);
  across.setColorAt(1, kPurple);
  p.setBrush(across);
  p.drawRoundedRect(body, 27, 27);
  QLinearGradient gloss(0, body.top(), 0, body.center().y());
  gloss.setColorAt(0, QColor(255, 255, 255, 80));
  gloss.setColorAt(1, QColor(255, 255, 255, 8));
  p.setBrush(gloss);
  p.drawRoundedRect(body.adjusted(4, 2, -4, -body.height() / 2), 22, 22);
  p.setFont(Face(22, QFont::Bold));
  p.setPen(QColor(90, 30, 90, 90));
  p.drawText(body.translated(0, 1.5), Qt::AlignCenter, QStringLiteral("Connect"));
  p.setPen(Qt::white);
  p.drawText(body, Qt::AlignCenter, QStringLiteral("Connect"));
  return image;
}

bool Save(const QImage& image, const QDir& folder, const char* name) {
  const QString path = folder.filePath(QString::fromLatin1(name) + ".png");
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "skin-gen: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin-gen <output-folder>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists()) {
    std::fprintf(stderr, "skin-gen: no folder %s\n", argv[1]);
    return 1;
  }
  // The frame pieces and the window rectangles they cover, at the design size.
  struct Piece {
    const char* name;
    QRect rect;
  };
  const Piece pieces[] = {
      {"BG_LT", {0, 0, 150, 160}},   {"BG_CT", {150, 0, 100, 100}},   {"BG_RT", {250, 0, 210, 200}},
      {"BG_LC", {0, 160, 50, 30}},   {"BG_RC", {410, 200, 50, 10}},   {"BG_LB", {0, 190, 160, 170}},
      {"BG_CB", {160, 310, 80, 50}}, {"BG_RB", {240, 210, 220, 150}},
  };
  const QImage frame = DrawFrame();
  bool saved = true;
  for (const Piece& piece : pieces) {
    const QRect doubled(piece.rect.topLeft() * 2, piece.rect.size() * 2);
    saved &= Save(frame.copy(doubled).convertToFormat(QImage::Format_ARGB32), folder, piece.name);
  }
  saved &= Save(DrawLogo(), folder, "logoImg");
  saved &= Save(DrawGlyph(Glyph::Close), folder, "CloseImg");
  saved &= Save(DrawGlyph(Glyph::Minimize), folder, "MinimizeImg");
  saved &= Save(DrawGlyph(Glyph::Maximize), folder, "MaximizeImg");
  saved &= Save(DrawBackDisc().convertToFormat(QImage::Format_ARGB32), folder, "BackImg");
  saved &= Save(DrawConnectButton().convertToFormat(QImage::Format_ARGB32), folder, "ConnectBtn");
  return saved ? 0 : 1;
}
