// The real window on a private X server: a screenshot shows the rounded
// corners unpainted (the green window below shows through) and every frame
// picture where the layout puts it, at the login size and at a connected size.
// The screenshots are kept beside the test program for a look.
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <string>

#include "client/window_layout.h"
#include "tests/support/xvfb.h"
#include "tests/window/form_fixture.h"

namespace {

const QRgb kBackground = qRgb(0, 170, 60);

// One X server for the test process: the application stays connected to it.
testsupport::XvfbDisplay& Display() {
  static testsupport::XvfbDisplay display;
  return display;
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Display().ok());
    qputenv("QT_QPA_PLATFORM", "xcb");
    windowtest::Application();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    vantrel::EngineLoaded = true;
    background = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint);
    QPalette colours;
    colours.setColor(QPalette::Window, QColor(kBackground));
    background->setPalette(colours);
    background->setGeometry(0, 0, 1920, 1080);
    background->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(background.get()));
    form = std::make_unique<windowtest::TestForm>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    Settle();
  }
  void TearDown() override {
    form.reset();
    background.reset();
  }
  static void Settle() {
    for (int i = 0; i < 5; ++i) {
      QTest::qWait(100);
      QCoreApplication::processEvents();
    }
  }
  // A screenshot once the window has been painted (on a busy machine the
  // server may show it a little later).
  QImage Shot(const char* name) {
    const std::string path = (QCoreApplication::applicationDirPath() + "/" + name).toStdString();
    QImage shot;
    for (int attempt = 0; attempt < 10; ++attempt) {
      EXPECT_TRUE(Display().Screenshot(path));
      shot = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
      const QPoint frame = form->geometry().topLeft() + QPoint(form->width() / 2, 40);
      const QPoint panel = form->geometry().topLeft() + QPoint(22, 100);
      if (!shot.isNull() && shot.pixel(frame) != kBackground && shot.pixel(panel) == qRgb(255, 255, 255)) break;
      Settle();
    }
    return shot;
  }

  // Outside the rounded region the screen shows the background; a little
  // inside it, the window.
  void ExpectRoundedCorners(const QImage& shot) {
    const QRect window = form->geometry();
    const QRegion region = vantrel::RoundRectRegion(window.size(), 64);
    int outside = 0;
    for (const QPoint corner : {QPoint(0, 0), QPoint(window.width() - 32, 0), QPoint(0, window.height() - 32),
                                QPoint(window.width() - 32, window.height() - 32)}) {
      for (int y = corner.y(); y < corner.y() + 32; ++y) {
        for (int x = corner.x(); x < corner.x() + 32; ++x) {
          const QRgb pixel = shot.pixel(window.topLeft() + QPoint(x, y));
          if (!region.contains(QPoint(x, y))) {
            ++outside;
            ASSERT_EQ(pixel, kBackground) << "painted outside the region at " << x << "," << y;
          } else if (region.contains(QPoint(x - 2, y - 2)) && region.contains(QPoint(x + 2, y + 2)) &&
                     region.contains(QPoint(x - 2, y + 2)) && region.contains(QPoint(x + 2, y - 2))) {
            ASSERT_NE(pixel, kBackground) << "unpainted inside the region at " << x << "," << y;
          }
        }
      }
    }
    EXPECT_GT(outside, 4 * 100);
  }

  // Each frame picture's own drawing, compared with the screen wherever the
  // picture is the top control and fully opaque.
  void ExpectFramePictures(const QImage& shot) {
    const QRect window = form->geometry();
    const QRegion region = vantrel::RoundRectRegion(window.size(), 64);
    for (TImage* picture :
         {form->BG_LT, form->BG_CT, form->BG_RT, form->BG_LC, form->BG_RC, form->BG_LB, form->BG_CB, form->BG_RB}) {
      QImage drawn(picture->size(), QImage::Format_ARGB32);
      drawn.fill(Qt::transparent);
      {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRect(QPoint(0, 0), picture->size()), picture->Picture());
      }
      int compared = 0;
      for (int y = 1; y < picture->height(); y += 3) {
        for (int x = 1; x < picture->width(); x += 3) {
          const QPoint in_window = picture->geometry().topLeft() + QPoint(x, y);
          if (form->childAt(in_window) != picture || !region.contains(in_window)) continue;
          const QRgb expected = drawn.pixel(x, y);
          if (qAlpha(expected) != 255) continue;
          const QRgb seen = shot.pixel(window.topLeft() + in_window);
          ++compared;
          ASSERT_LE(std::abs(qRed(seen) - qRed(expected)) + std::abs(qGreen(seen) - qGreen(expected)) +
                        std::abs(qBlue(seen) - qBlue(expected)),
                    6)
              << picture->objectName().toStdString() << " at " << x << "," << y;
        }
      }
      EXPECT_GE(compared, 5) << picture->objectName().toStdString();
    }
  }

  std::unique_ptr<QWidget> background;
  std::unique_ptr<windowtest::TestForm> form;
};

TEST_F(ScreenTest, LoginWindowHasRoundedCornersAndItsFrameInPlace) {
  EXPECT_EQ(form->geometry(), QRect(730, 360, 460, 360));
  const QImage shot = Shot("window_screen_login.png");
  ASSERT_FALSE(shot.isNull());
  ExpectRoundedCorners(shot);
  ExpectFramePictures(shot);
  // The login panel is white inside its own rounded corners.
  EXPECT_EQ(shot.pixel(form->geometry().topLeft() + QPoint(16 + 20, 70 + 8)), qRgb(255, 255, 255));
}

TEST_F(ScreenTest, ConnectedLayoutAtALargerSize) {
  form->connected = true;
  form->ResizeWindow(900, 620);
  form->MainPanel->raise();
  form->MaximizeImg->setEnabled(true);
  Settle();
  const QImage shot = Shot("window_screen_connected.png");
  ASSERT_FALSE(shot.isNull());
  ExpectRoundedCorners(shot);
  ExpectFramePictures(shot);
  // The preview surface is an X11 window of its own.
  const WId surface = form->DisplayPanel->winId();
  ASSERT_NE(surface, WId(0));
  const std::string query =
      "xwininfo -display " + Display().display() + " -id " + std::to_string(surface) + " >/dev/null";
  EXPECT_EQ(std::system(query.c_str()), 0);
}

// A session's panel through a minimise and restore and a resize that the
// window system makes (xdotool windowsize): the connected panel stays in
// front, the window is clipped and laid out at its new size, the long device
// name is cut with "…" and the preview panel says in words that the preview
// is unavailable.
TEST_F(ScreenTest, RestoredAndResizedFromOutsideTheConnectedPanelStaysLaidOut) {
  form->connected = true;
  form->MainPanel->raise();
  form->MaximizeImg->setEnabled(true);
  form->ConnectedBoxLabel->SetText("Vantrel Demo Camera");
  form->DisplayPanel->SetCaption("Preview unavailable on this display. The camera keeps working.");
  form->showMinimized();
  Settle();
  form->showNormal();
  Settle();
  ASSERT_FALSE(Shot("window_screen_restored.png").isNull());
  const std::string resize = "xdotool windowsize " + std::to_string(form->winId()) + " 700 450";
  ASSERT_EQ(std::system(resize.c_str()), 0);
  Settle();
  ASSERT_EQ(form->size(), QSize(700, 450));
  const QImage shot = Shot("window_screen_restored_resized.png");
  ASSERT_FALSE(shot.isNull());
  ExpectRoundedCorners(shot);
  ExpectFramePictures(shot);
  // The connected panel is in front: its preview surface, not the login
  // panel's white, fills the middle.
  const QPoint middle = form->geometry().topLeft() + form->MainPanel->geometry().topLeft() +
                        form->DisplayPanel->geometry().topLeft() + QPoint(8, 8);
  EXPECT_NE(shot.pixel(middle), qRgb(255, 255, 255));
  EXPECT_TRUE(form->ConnectedBoxLabel->ShownText().endsWith(QChar(0x2026)) ||
              form->ConnectedBoxLabel->ShownText() == "Vantrel Demo Camera");
}

// Drives the real pointer of the X server through xdotool.
void Pointer(const std::string& actions) {
  const std::string command = "xdotool " + actions;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  QTest::qWait(120);
}

TEST_F(ScreenTest, TheRealPointerDragsTheWindowAndItsResizeCorner) {
  const QPoint start = form->pos();
  Pointer("mousemove 930 410 mousedown 1");  // BG_CT
  for (int step = 1; step <= 4; ++step)
    Pointer("mousemove " + std::to_string(930 + 15 * step) + " " + std::to_string(410 + 10 * step));
  Pointer("mouseup 1");
  EXPECT_EQ(form->pos(), start + QPoint(60, 40));

  form->connected = true;
  form->MainPanel->raise();
  const QPoint corner = form->BG_RB->mapToGlobal(QPoint(210, 140));
  Pointer("mousemove " + std::to_string(corner.x()) + " " + std::to_string(corner.y()) + " mousedown 1");
  for (int step = 1; step <= 5; ++step)
    Pointer("mousemove " + std::to_string(corner.x() + 20 * step) + " " + std::to_string(corner.y() + 12 * step));
  Pointer("mouseup 1");
  EXPECT_EQ(form->pos(), start + QPoint(60, 40));
  EXPECT_EQ(form->size(), QSize(560, 420));
  Settle();
  const QImage shot = Shot("window_screen_dragged.png");
  ASSERT_FALSE(shot.isNull());
  ExpectRoundedCorners(shot);
  ExpectFramePictures(shot);
}

}  // namespace
