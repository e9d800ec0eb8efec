// The window on the offscreen platform: component tree and layout, regions,
// ResizeWindow's rules, dragging, maximise/restore, minimise and close.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include "client/mask_edit.h"
#include "client/window_layout.h"
#include "tests/window/form_fixture.h"

namespace {

using windowtest::FormTest;
using windowtest::SendMouse;

struct Placement {
  const char* name;
  const char* parent;
  QRect rect;
};

// The design table, at 460 x 360.
const Placement kDesign[] = {
    {"BG_CB", "VantrelForm", {160, 310, 80, 50}},
    {"BG_LC", "VantrelForm", {0, 160, 50, 30}},
    {"BG_CT", "VantrelForm", {150, 0, 100, 100}},
    {"BG_RC", "VantrelForm", {410, 200, 50, 10}},
    {"BG_LT", "VantrelForm", {0, 0, 150, 160}},
    {"BG_LB", "VantrelForm", {0, 190, 160, 170}},
    {"BG_RB", "VantrelForm", {240, 210, 220, 150}},
    {"BG_RT", "VantrelForm", {250, 0, 210, 200}},
    {"logoImg", "VantrelForm", {36, 14, 100, 44}},
    {"CloseImg", "VantrelForm", {422, 20, 14, 14}},
    {"MinimizeImg", "VantrelForm", {362, 20, 14, 14}},
    {"MaximizeImg", "VantrelForm", {392, 20, 14, 14}},
    {"MainPanel", "VantrelForm", {16, 70, 428, 270}},
    {"BackImg", "MainPanel", {388, 0, 40, 40}},
    {"ConnectedBoxLabel", "MainPanel", {100, 4, 142, 18}},
    {"Label1", "MainPanel", {20, 4, 68, 18}},
    {"DisplayPanel", "MainPanel", {10, 40, 409, 217}},
    {"LoginPanel", "VantrelForm", {16, 70, 428, 270}},
    {"ConnectBtn", "LoginPanel", {120, 188, 202, 62}},
    {"DeviceIDLabel", "LoginPanel", {43, 28, 68, 18}},
    {"Label2", "LoginPanel", {44, 73, 67, 18}},
    {"PINCodeLabel", "LoginPanel", {44, 128, 68, 18}},
    {"DeviceIDComboBox", "LoginPanel", {128, 25, 262, 27}},
    {"DeviceIPEdit", "LoginPanel", {128, 69, 257, 24}},
    {"PinPanel1", "LoginPanel", {138, 114, 54, 54}},
    {"PinPanel2", "LoginPanel", {202, 114, 54, 54}},
    {"PinPanel3", "LoginPanel", {266, 114, 54, 54}},
    {"PinPanel4", "LoginPanel", {330, 114, 54, 54}},
    {"PinEdit1", "PinPanel1", {5, 5, 44, 44}},
    {"PinEdit2", "PinPanel2", {5, 5, 44, 44}},
    {"PinEdit3", "PinPanel3", {5, 5, 44, 44}},
    {"PinEdit4", "PinPanel4", {5, 5, 44, 44}},
};

// The layout formulas at window size W x H.
std::vector<Placement> LayoutAt(int W, int H) {
  return {
      {"BG_LT", "", {0, 0, 150, 160}},
      {"BG_CT", "", {150, 0, W - 360, 100}},
      {"BG_RT", "", {W - 210, 0, 210, 200}},
      {"BG_LC", "", {0, 160, 50, H - 330}},
      {"BG_RC", "", {W - 50, 200, 50, H - 350}},
      {"BG_LB", "", {0, H - 170, 160, 170}},
      {"BG_CB", "", {160, H - 50, W - 380, 50}},
      {"BG_RB", "", {W - 220, H - 150, 220, 150}},
      {"MinimizeImg", "", {W - 98, 20, 14, 14}},
      {"MaximizeImg", "", {W - 68, 20, 14, 14}},
      {"CloseImg", "", {W - 38, 20, 14, 14}},
      {"MainPanel", "", {16, 70, W - 32, H - 90}},
      {"DisplayPanel", "", {10, 40, W - 51, H - 143}},
      {"BackImg", "", {W - 72, 0, 40, 40}},
      {"LoginPanel", "", {16, 70, 428, 270}},
  };
}

QWidget* Component(QWidget* form, const char* name) { return form->findChild<QWidget*>(QString::fromLatin1(name)); }

void ExpectLayout(QWidget* form, int W, int H) {
  ASSERT_EQ(form->size(), QSize(W, H));
  for (const Placement& expected : LayoutAt(W, H)) {
    QWidget* control = Component(form, expected.name);
    ASSERT_NE(control, nullptr) << expected.name;
    EXPECT_EQ(control->geometry(), expected.rect) << expected.name << " at " << W << "x" << H;
  }
}

TEST_F(FormTest, EveryComponentHasItsNameParentAndDesignGeometry) {
  EXPECT_EQ(form->objectName(), "VantrelForm");
  EXPECT_EQ(form->windowTitle(), "VantrelForm");
  EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form->size(), QSize(460, 360));
  for (const Placement& expected : kDesign) {
    QWidget* control = Component(form.get(), expected.name);
    ASSERT_NE(control, nullptr) << expected.name;
    EXPECT_EQ(control->parentWidget()->objectName(), expected.parent) << expected.name;
    if (qobject_cast<QLabel*>(control)) {
      // A label grows where the face standing in for Arial is wider.
      EXPECT_EQ(control->pos(), expected.rect.topLeft()) << expected.name;
      EXPECT_LE(control->width() - expected.rect.width(), 4) << expected.name;
      EXPECT_TRUE(control->rect().contains(QRect(QPoint(0, 0), expected.rect.size()))) << expected.name;
    } else {
      EXPECT_EQ(control->geometry(), expected.rect) << expected.name;
    }
  }
  ASSERT_NE(form->findChild<QTimer*>("Timer1"), nullptr);
  EXPECT_EQ(form->Timer1->interval(), 100);
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(FormTest, CreationStateOfTheComponents) {
  ShowActive();
  EXPECT_FALSE(form->MaximizeImg->isEnabled());
  EXPECT_FALSE(form->ConnectBtn->isEnabled());
  EXPECT_EQ(form->DeviceIDComboBox->count(), 0);
  EXPECT_FALSE(form->DeviceIDComboBox->isEditable());
  EXPECT_EQ(form->DeviceIPEdit->text(), "   .   .   .   ");
  EXPECT_EQ(form->DeviceIPEdit->maxLength(), 15);
  EXPECT_EQ(form->ConnectedBoxLabel->text(), "ConnectedBoxLabel");
  EXPECT_EQ(form->DisplayPanel->Caption(), "Preview");
  for (QLineEdit* edit : {form->PinEdit1, form->PinEdit2, form->PinEdit3, form->PinEdit4}) {
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(edit->maxLength(), 2);
    EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
  }
  EXPECT_EQ(form->GetPinCode(), "");
  // The login panel is in front of the main panel at the same place.
  const QObjectList& stack = form->children();
  EXPECT_GT(stack.indexOf(form->LoginPanel), stack.indexOf(form->MainPanel));
  EXPECT_EQ(form->childAt(30, 300), form->LoginPanel);
}

TEST_F(FormTest, PanelsAndThePreviewSurfaceAreNativeThePicturesWindowless) {
  ShowActive();
  for (QWidget* native : {static_cast<QWidget*>(form->DisplayPanel), static_cast<QWidget*>(form->MainPanel),
                          static_cast<QWidget*>(form->LoginPanel)}) {
    EXPECT_TRUE(native->testAttribute(Qt::WA_NativeWindow)) << native->objectName().toStdString();
    EXPECT_NE(native->internalWinId(), WId(0)) << native->objectName().toStdString();
  }
  for (QWidget* windowless : {static_cast<QWidget*>(form->BG_LT), static_cast<QWidget*>(form->CloseImg),
                              static_cast<QWidget*>(form->ConnectBtn), static_cast<QWidget*>(form->PINCodeLabel)}) {
    EXPECT_EQ(windowless->internalWinId(), WId(0)) << windowless->objectName().toStdString();
  }
}

TEST_F(FormTest, WindowAndPanelsAreClippedToRoundedRectangles) {
  EXPECT_EQ(form->mask(), vantrel::RoundRectRegion({460, 360}, 64));
  EXPECT_EQ(form->LoginPanel->mask(), vantrel::RoundRectRegion({428, 270}, 32));
  EXPECT_EQ(form->MainPanel->mask(), vantrel::RoundRectRegion({428, 270}, 32));
}

TEST_F(FormTest, LayoutAtTheDesignSizeIsTheDesignTable) {
  ShowActive();
  ExpectLayout(form.get(), 460, 360);
  EXPECT_EQ(form->BG_CT->width(), 100);
  EXPECT_EQ(form->BG_CB->width(), 80);
  EXPECT_EQ(form->BG_LC->height(), 30);
  EXPECT_EQ(form->BG_RC->height(), 10);
}

TEST_F(FormTest, LayoutFollowsTheFormulasWhileConnected) {
  form->connected = true;
  ShowActive();
  for (const QSize size : {QSize(900, 640), QSize(461, 1080), QSize(1920, 361), QSize(460, 360)}) {
    form->ResizeWindow(size.width(), size.height());
    ExpectLayout(form.get(), size.width(), size.height());
    EXPECT_EQ(form->mask(), vantrel::RoundRectRegion(size, 64));
    EXPECT_EQ(form->MainPanel->mask(), vantrel::RoundRectRegion(size - QSize(32, 90), 32));
    EXPECT_EQ(form->LoginPanel->mask(), vantrel::RoundRectRegion({428, 270}, 32));
  }
}

TEST_F(FormTest, ResizeWindowBoundsToTheScreenWhileConnected) {
  ASSERT_EQ(QGuiApplication::primaryScreen()->size(), QSize(1920, 1080));
  form->connected = true;
  ShowActive();
  form->ResizeWindow(300, 5000);
  EXPECT_EQ(form->size(), QSize(460, 1080));
  form->ResizeWindow(2500, 200);
  EXPECT_EQ(form->size(), QSize(1920, 360));
}

TEST_F(FormTest, ResizeWindowKeepsTheDesignSizeWhileNotConnected) {
  ShowActive();
  form->ResizeWindow(1000, 800);
  EXPECT_EQ(form->size(), QSize(460, 360));
  ExpectLayout(form.get(), 460, 360);
  // A request that changes nothing makes no region.
  form->clearMask();
  form->MainPanel->clearMask();
  form->ResizeWindow(460, 360);
  EXPECT_TRUE(form->mask().isEmpty());
  EXPECT_TRUE(form->MainPanel->mask().isEmpty());
}

// A size change that the window system makes (a tiling shortcut, a maximise
// from the task bar, xdotool windowsize) lays the window out and clips it as
// ResizeWindow does, within the same size rules.
TEST_F(FormTest, ASizeChangeFromOutsideKeepsTheLayoutRegionsAndSizeRules) {
  form->connected = true;
  ShowActive();
  const auto resize_from_outside = [&](QSize size) {
    form->windowHandle()->resize(size);
    QCoreApplication::processEvents();
  };
  struct Case {
    QSize requested;
    QSize result;
  };
  for (const Case c :
       {Case{{900, 640}, {900, 640}}, Case{{300, 5000}, {460, 1080}}, Case{{1920, 1080}, {1920, 1080}}}) {
    resize_from_outside(c.requested);
    ASSERT_EQ(form->size(), c.result);
    ExpectLayout(form.get(), c.result.width(), c.result.height());
    EXPECT_EQ(form->mask(), vantrel::RoundRectRegion(c.result, 64));
    EXPECT_EQ(form->MainPanel->mask(), vantrel::RoundRectRegion(c.result - QSize(32, 90), 32));
    EXPECT_EQ(form->CloseImg->geometry(), QRect(c.result.width() - 38, 20, 14, 14));
  }
  // Not connected: the window keeps the design size.
  form->connected = false;
  resize_from_outside({900, 640});
  EXPECT_EQ(form->size(), QSize(460, 360));
  ExpectLayout(form.get(), 460, 360);
  EXPECT_EQ(form->mask(), vantrel::RoundRectRegion({460, 360}, 64));
}

// A pointer held on a frame picture, moving on the screen.
class DragTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ShowActive();
    form->move(300, 200);
    QCoreApplication::processEvents();
  }
  // Presses on `picture` at its point `at`; returns the screen position.
  QPoint Press(QWidget* picture, QPoint at, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers keys = Qt::NoModifier) {
    const QPoint screen = picture->mapToGlobal(at);
    SendMouse(picture, QEvent::MouseButtonPress, screen, button, button, keys);
    return screen;
  }
  void MoveTo(QWidget* picture, QPoint screen, Qt::MouseButtons held = Qt::LeftButton) {
    SendMouse(picture, QEvent::MouseMove, screen, Qt::NoButton, held);
  }
  void Release(QWidget* picture, QPoint screen, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(picture, QEvent::MouseButtonRelease, screen, button, Qt::NoButton);
  }
};

TEST_F(DragTest, DraggingAnyFramePictureMovesTheWindow) {
  for (QWidget* picture : std::initializer_list<QWidget*>{form->BG_LT, form->BG_CT, form->BG_RT, form->BG_LC,
                                                          form->BG_RC, form->BG_LB, form->BG_CB, form->BG_RB}) {
    const QPoint start = form->pos();
    const QPoint pointer = Press(picture, {3, 3});
    MoveTo(picture, pointer + QPoint(25, -12));
    MoveTo(picture, pointer + QPoint(40, 5));
    Release(picture, pointer + QPoint(40, 5));
    EXPECT_EQ(form->pos(), start + QPoint(40, 5)) << picture->objectName().toStdString();
    EXPECT_EQ(form->size(), QSize(460, 360));
  }
}

// Moves queued up before the window could follow carry window-relative
// positions of where the window was when they were made; their screen
// positions are what counts.
TEST_F(DragTest, AQueuedBurstOfMovesFollowsThePointerOnTheScreen) {
  const QPoint start = form->pos();
  const QPoint pointer = Press(form->BG_CT, {20, 20});
  const QPoint picture_at_press = form->BG_CT->mapToGlobal(QPoint(0, 0));
  for (int step = 1; step <= 10; ++step) {
    const QPointF screen = pointer + QPoint(15 * step, 9 * step);
    const QPointF stale_local = screen - picture_at_press;
    QMouseEvent move(QEvent::MouseMove, stale_local, stale_local, screen, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->BG_CT, &move);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(form->pos(), start + QPoint(150, 90));
  // The pointer stayed on the picture: the drag goes on.
  MoveTo(form->BG_CT, pointer + QPoint(160, 95));
  Release(form->BG_CT, pointer + QPoint(160, 95));
  EXPECT_EQ(form->pos(), start + QPoint(160, 95));
}

TEST_F(DragTest, ResizeCornerBordersDecideBetweenResizeAndMove) {
  form->connected = true;
  struct Case {
    QPoint press;
    bool resizes;
  };
  for (const Case& c :
       {Case{{200, 131}, true}, Case{{219, 149}, true}, Case{{199, 131}, false}, Case{{200, 130}, false}}) {
    form->ResizeWindow(460, 360);
    const QPoint start = form->pos();
    const QPoint pointer = Press(form->BG_RB, c.press);
    MoveTo(form->BG_RB, pointer + QPoint(30, 20));
    Release(form->BG_RB, pointer + QPoint(30, 20));
    if (c.resizes) {
      EXPECT_EQ(form->size(), QSize(490, 380)) << c.press.x() << "," << c.press.y();
      EXPECT_EQ(form->pos(), start);
      ExpectLayout(form.get(), 490, 380);
    } else {
      EXPECT_EQ(form->size(), QSize(460, 360)) << c.press.x() << "," << c.press.y();
      EXPECT_EQ(form->pos(), start + QPoint(30, 20));
    }
  }
}

TEST_F(DragTest, ResizeDragWhileNotConnectedKeepsTheSize) {
  const QPoint pointer = Press(form->BG_RB, {210, 140});
  MoveTo(form->BG_RB, pointer + QPoint(5, 5));
  EXPECT_EQ(form->size(), QSize(460, 360));
  EXPECT_EQ(form->pos(), QPoint(300, 200));
}

TEST_F(DragTest, PressesThatStartNothing) {
  struct Case {
    const char* what;
    Qt::MouseButton button;
    Qt::KeyboardModifiers keys;
    bool double_click;
  };
  for (const Case& c :
       {Case{"shift", Qt::LeftButton, Qt::ShiftModifier, false},
        Case{"ctrl", Qt::LeftButton, Qt::ControlModifier, false}, Case{"alt", Qt::LeftButton, Qt::AltModifier, false},
        Case{"right button", Qt::RightButton, Qt::NoModifier, false},
        Case{"double-click", Qt::LeftButton, Qt::NoModifier, true}}) {
    const QPoint screen = form->BG_LT->mapToGlobal(QPoint(20, 20));
    SendMouse(form->BG_LT, c.double_click ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, screen, c.button,
              c.button, c.keys);
    MoveTo(form->BG_LT, screen + QPoint(15, 15));
    EXPECT_EQ(form->pos(), QPoint(300, 200)) << c.what;
    Release(form->BG_LT, screen + QPoint(15, 15), c.button);
  }
}

TEST_F(DragTest, AModifierDuringTheMoveAndAMoveWithoutButtonsDoNothing) {
  const QPoint pointer = Press(form->BG_CT, {10, 10});
  SendMouse(form->BG_CT, QEvent::MouseMove, pointer + QPoint(10, 0), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
  MoveTo(form->BG_CT, pointer + QPoint(20, 0), Qt::NoButton);
  EXPECT_EQ(form->pos(), QPoint(300, 200));
  // The drag itself is still in progress.
  MoveTo(form->BG_CT, pointer + QPoint(7, 0));
  EXPECT_EQ(form->pos(), QPoint(307, 200));
}

TEST_F(DragTest, ReleasingAnyButtonOrLeavingThePictureEndsTheDrag) {
  QPoint pointer = Press(form->BG_LT, {20, 20});
  Release(form->BG_LT, pointer, Qt::RightButton);
  MoveTo(form->BG_LT, pointer + QPoint(10, 10));
  EXPECT_EQ(form->pos(), QPoint(300, 200));

  pointer = Press(form->BG_LT, {20, 20});
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(form->BG_LT, &leave);
  MoveTo(form->BG_LT, pointer + QPoint(10, 10));
  EXPECT_EQ(form->pos(), QPoint(300, 200));
}

TEST_F(DragTest, APointerOutsideThePictureEndsTheDragAfterThatMove) {
  // A resize drag while not connected: the window keeps its size, so the
  // pointer runs off the corner picture and the drag ends there.
  const QPoint pointer = Press(form->BG_RB, {215, 145});
  MoveTo(form->BG_RB, pointer + QPoint(30, 0));
  form->connected = true;
  MoveTo(form->BG_RB, pointer + QPoint(40, 10));
  EXPECT_EQ(form->size(), QSize(460, 360));
  // While the window follows the pointer, the pointer stays on the picture.
  const QPoint again = Press(form->BG_LT, {140, 150});
  MoveTo(form->BG_LT, again + QPoint(30, 25));
  MoveTo(form->BG_LT, again + QPoint(31, 27));
  EXPECT_EQ(form->pos(), QPoint(331, 227));
}

TEST_F(DragTest, APressOnScreenColumnOrRowZeroStartsNoDrag) {
  form->move(0, 0);
  QCoreApplication::processEvents();
  ASSERT_EQ(form->BG_LT->mapToGlobal(QPoint(0, 0)), QPoint(0, 0));
  for (const QPoint at : {QPoint(0, 50), QPoint(50, 0)}) {
    const QPoint pointer = Press(form->BG_LT, at);
    MoveTo(form->BG_LT, pointer + QPoint(20, 20));
    EXPECT_EQ(form->pos(), QPoint(0, 0)) << at.x() << "," << at.y();
    Release(form->BG_LT, pointer + QPoint(20, 20));
  }
}

TEST_F(FormTest, MaximiseThenRestoreReturnsToTheEarlierSize) {
  form->connected = true;
  ShowActive();
  form->ResizeWindow(700, 500);
  form->MaximizeImg->setEnabled(true);
  QTest::mouseClick(form->MaximizeImg, Qt::LeftButton);
  EXPECT_TRUE(form->isMaximized());
  EXPECT_EQ(form->size(), QSize(1920, 1080));
  ExpectLayout(form.get(), 1920, 1080);
  QTest::mouseClick(form->MaximizeImg, Qt::RightButton);
  EXPECT_FALSE(form->isMaximized());
  EXPECT_EQ(form->size(), QSize(700, 500));
  ExpectLayout(form.get(), 700, 500);
}

TEST_F(FormTest, TheDisabledMaximiseButtonIgnoresReleases) {
  form->connected = true;
  ShowActive();
  ASSERT_FALSE(form->MaximizeImg->isEnabled());
  QTest::mouseClick(form->MaximizeImg, Qt::LeftButton);
  EXPECT_FALSE(form->isMaximized());
  EXPECT_EQ(form->size(), QSize(460, 360));
}

TEST_F(FormTest, ReleasingAnyButtonOverCloseImgCloses) {
  ShowActive();
  QTest::mouseClick(form->CloseImg, Qt::RightButton);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(FormTest, AReleaseAwayFromCloseImgDoesNotClose) {
  ShowActive();
  QTest::mousePress(form->CloseImg, Qt::LeftButton);
  QTest::mouseRelease(form->CloseImg, Qt::LeftButton, {}, QPoint(30, 30));
  EXPECT_TRUE(form->isVisible());
}

TEST_F(FormTest, MinimizeImgMinimisesTheWindow) {
  ShowActive();
  QTest::mouseClick(form->MinimizeImg, Qt::MiddleButton);
  EXPECT_TRUE(form->isMinimized());
}

TEST_F(FormTest, WithTheEngineMissingTheLoginPanelIsInFrontAndTheWindowCloses) {
  vantrel::EngineLoaded = false;
  form->MainPanel->raise();
  QString message;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      message = box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answer.start(20);
  form->show();
  QTRY_VERIFY_WITH_TIMEOUT(!message.isEmpty() && !form->isVisible(), 5000);
  EXPECT_EQ(message, "libstrova.so not loaded.");
  const QObjectList& stack = form->children();
  EXPECT_GT(stack.indexOf(form->LoginPanel), stack.indexOf(form->MainPanel)) << "LoginPanel in front";
}

TEST_F(FormTest, TheShowHandlerBringsTheLoginPanelToTheFront) {
  form->MainPanel->raise();
  ShowActive();
  QTRY_COMPARE(form->childAt(30, 300), static_cast<QWidget*>(form->LoginPanel));
}

}  // namespace
