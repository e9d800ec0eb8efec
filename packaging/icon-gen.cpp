// icon-gen: draws the application icon (the logo's lens mark, white on the
// window frame's magenta-to-purple gradient, in a rounded square) as one PNG
// of the given size. Runs at build time; single-threaded; writes only its
// output file.
// Usage: icon-gen <size> <output.png>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

namespace {

const QColor kMagenta(211, 95, 174);
const QColor kPurple(152, 76, 156);

// Drawn on a 256-unit square and scaled, so every size shows the same mark.
QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  const QRectF tile(8, 8, 240, 240);
  QLinearGradient across(tile.topLeft(), tile.bottomRight());
  across.setColorAt(0, kMagenta);
  across.setColorAt(1, kPurple);
  p.setPen(Qt::NoPen);
  p.setBrush(across);
  p.drawRoundedRect(tile, 52, 52);
  QLinearGradient light(0, tile.top(), 0, tile.bottom());
  light.setColorAt(0, QColor(255, 255, 255, 56));
  light.setColorAt(0.45, QColor(255, 255, 255, 0));
  p.setBrush(light);
  p.drawRoundedRect(tile, 52, 52);

  // The lens: a ring, its pupil and a glint. Small sizes get a bolder ring.
  const QPointF centre(128, 128);
  const double ring = size <= 24 ? 26 : 18;
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, ring));
  p.drawEllipse(centre, 78, 78);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(centre, 32, 32);
  if (size > 24) p.drawEllipse(QPointF(182, 74), 13, 13);
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc == 3 ? std::atoi(argv[1]) : 0;
  if (size < 8 || size > 1024) {
    std::fprintf(stderr, "usage: icon-gen <size 8..1024> <output.png>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (DrawIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) return 0;
  std::fprintf(stderr, "icon-gen: cannot write %s\n", argv[2]);
  return 1;
}
