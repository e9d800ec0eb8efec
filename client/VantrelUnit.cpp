// TVantrelForm: the component tree, the event bindings, layout and frame
// handling, PIN entry and the show handler of the client window (the Qt
// events reach the handlers through component_events.h). GUI thread only;
// the window itself makes no engine calls.
#include "client/VantrelUnit.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>

#include "client/engine_binding.h"
#include "client/mask_edit.h"
#include "client/udp_listener.h"

using vantrel::Anchor;
using vantrel::Anchors;
using vantrel::kLeftTop;

namespace {

const QColor kCaptionGrey(136, 136, 136);
const QColor kPinBoxGrey(227, 227, 227);
const int kWindowCornerDiameter = 64;
const int kPanelCornerDiameter = 32;

// A font by face and character height in pixels. Where the face is missing,
// the metric-compatible Liberation face of the same kind stands in.
QFont SkinFont(const char* face, int pixel_height, QFont::Weight weight = QFont::Normal,
               QFont::StyleHint hint = QFont::SansSerif) {
  QFont font;
  font.setFamilies({QString::fromLatin1(face),
                    hint == QFont::TypeWriter ? QStringLiteral("Liberation Mono") : QStringLiteral("Liberation Sans")});
  font.setStyleHint(hint);
  font.setPixelSize(pixel_height);
  font.setWeight(weight);
  return font;
}

QFont PinFont() { return SkinFont("Arial Black", 32, QFont::Black); }

int TagOf(const QObject* component) { return component->property("Tag").toInt(); }

QSize PrimaryScreenSize() { return QGuiApplication::primaryScreen()->size(); }

}  // namespace

void vantrel::SetRoundRegion(QWidget* control, int diameter) {
  control->setMask(RoundRectRegion(control->size(), diameter));
  control->update();
}

TVantrelForm::TVantrelForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("VantrelForm");
  setWindowTitle("VantrelForm");
  resize(vantrel::kDesignWindowSize);
  move(QGuiApplication::primaryScreen()->geometry().center() - rect().center());
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setFont(SkinFont("Tahoma", 11));
  CreateComponents();
  BindEvents();
  StartDeviceDiscovery();
  FormCreate(this);
}

TVantrelForm::~TVantrelForm() {
  IdUDPServer1->Stop();
  ReleaseControlSession();
  FormDestroy(this);
}

// The window description: every component with its geometry, anchors, fonts,
// colours and pictures, created in stacking order (later ones on top).
void TVantrelForm::CreateComponents() {
  Q_INIT_RESOURCE(skin_resources);
  // The panels are native child windows; the pictures and labels beside them
  // stay windowless and are drawn on their parent's surface.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  using Fit = TImage::Fit;
  const Anchors top_right = Anchors(Anchor::Top) | Anchor::Right;
  const Anchors all_edges = kLeftTop | Anchor::Right | Anchor::Bottom;
  // The edge pictures stretch between the corners: anchored to both ends.
  BG_CB =
      Picture(this, "BG_CB", {160, 310, 80, 50}, Anchors(Anchor::Left) | Anchor::Right | Anchor::Bottom, Fit::Stretch);
  BG_LC = Picture(this, "BG_LC", {0, 160, 50, 30}, kLeftTop | Anchor::Bottom, Fit::Stretch);
  BG_CT = Picture(this, "BG_CT", {150, 0, 100, 100}, kLeftTop | Anchor::Right, Fit::Stretch);
  BG_RC = Picture(this, "BG_RC", {410, 200, 50, 10}, top_right | Anchor::Bottom, Fit::Stretch);
  BG_LT = Picture(this, "BG_LT", {0, 0, 150, 160}, kLeftTop, Fit::Stretch);
  BG_LB = Picture(this, "BG_LB", {0, 190, 160, 170}, Anchors(Anchor::Left) | Anchor::Bottom, Fit::Stretch);
  BG_RB = Picture(this, "BG_RB", {240, 210, 220, 150}, Anchors(Anchor::Right) | Anchor::Bottom, Fit::Stretch);
  BG_RT = Picture(this, "BG_RT", {250, 0, 210, 200}, top_right, Fit::Stretch);
  logoImg = Picture(this, "logoImg", {36, 14, 100, 44}, kLeftTop, Fit::OwnSize);
  CloseImg = Picture(this, "CloseImg", {422, 20, 14, 14}, top_right, Fit::OwnSize);
  MinimizeImg = Picture(this, "MinimizeImg", {362, 20, 14, 14}, top_right, Fit::OwnSize);
  MaximizeImg = Picture(this, "MaximizeImg", {392, 20, 14, 14}, top_right, Fit::OwnSize);
  MaximizeImg->setEnabled(false);

  // MainPanel and its preview surface stretch with the window as well.
  MainPanel = Panel(this, "MainPanel", {16, 70, 428, 270}, all_edges, Qt::white, true);
  BackImg = Picture(MainPanel, "BackImg", {388, 0, 40, 40}, top_right, Fit::Proportional);
  // The device name widens with the panel; a name too long for it is cut with "…".
  ConnectedBoxLabel = Label<TElidedLabel>(MainPanel, "ConnectedBoxLabel", {100, 4, 142, 18}, "ConnectedBoxLabel",
                                          palette().color(QPalette::WindowText), kLeftTop | Anchor::Right);
  Label1 = Label(MainPanel, "Label1", {20, 4, 68, 18}, "Device ID", kCaptionGrey);
  DisplayPanel =
      Panel(MainPanel, "DisplayPanel", {10, 40, 409, 217}, all_edges, palette().color(QPalette::Button), false);
  DisplayPanel->SetCaption("Preview");

  LoginPanel = Panel(this, "LoginPanel", {16, 70, 428, 270}, kLeftTop, Qt::white, true);
  ConnectBtn = Picture(LoginPanel, "ConnectBtn", {120, 188, 202, 62}, kLeftTop, Fit::OwnSize);
  ConnectBtn->setEnabled(false);
  DeviceIDLabel = Label(LoginPanel, "DeviceIDLabel", {43, 28, 68, 18}, "Device ID", kCaptionGrey);
  Label2 = Label(LoginPanel, "Label2", {44, 73, 67, 18}, "Device IP", kCaptionGrey);
  PINCodeLabel = Label(LoginPanel, "PINCodeLabel", {44, 128, 68, 18}, "PIN Code", kCaptionGrey);
  DeviceIDComboBox = Place(new QComboBox(LoginPanel), "DeviceIDComboBox", {128, 25, 262, 27}, kLeftTop);
  DeviceIDComboBox->setFrame(false);
  DeviceIDComboBox->setFont(SkinFont("Tahoma", 16));
  DeviceIPEdit = Place(new TMaskEdit(LoginPanel, "!099.099.099.099;1; "), "DeviceIPEdit", {128, 69, 257, 24}, kLeftTop);
  DeviceIPEdit->setFont(SkinFont("Courier", 16, QFont::Normal, QFont::TypeWriter));

  const char* const panel_names[] = {"PinPanel1", "PinPanel2", "PinPanel3", "PinPanel4"};
  const char* const edit_names[] = {"PinEdit1", "PinEdit2", "PinEdit3", "PinEdit4"};
  TPanel** const panels[] = {&PinPanel1, &PinPanel2, &PinPanel3, &PinPanel4};
  QLineEdit** const edits[] = {&PinEdit1, &PinEdit2, &PinEdit3, &PinEdit4};
  for (int box = 0; box < 4; ++box) {
    TPanel* panel = Panel(LoginPanel, panel_names[box], {138 + 64 * box, 114, 54, 54}, kLeftTop, kPinBoxGrey, false);
    panel->setProperty("Tag", box + 1);
    panel->setFont(PinFont());
    panel->SetCaption("1");
    QLineEdit* edit = Place(new QLineEdit("1", panel), edit_names[box], {5, 5, 44, 44}, kLeftTop);
    edit->setProperty("Tag", box + 1);
    edit->hide();
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignCenter);
    edit->setFont(PinFont());
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setInputMethodHints(Qt::ImhDigitsOnly);
    edit->setMaxLength(2);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    *panels[box] = panel;
    *edits[box] = edit;
  }
  QWidget::setTabOrder(DeviceIDComboBox, DeviceIPEdit);
  QWidget::setTabOrder(DeviceIPEdit, PinEdit1);
  QWidget::setTabOrder(PinEdit1, PinEdit2);
  QWidget::setTabOrder(PinEdit2, PinEdit3);
  QWidget::setTabOrder(PinEdit3, PinEdit4);

  // The preview surface, and the panels that must cover it, are native windows.
  MainPanel->setAttribute(Qt::WA_NativeWindow);
  LoginPanel->setAttribute(Qt::WA_NativeWindow);
  DisplayPanel->setAttribute(Qt::WA_NativeWindow);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
}

// The event bindings: which handler serves which component's event.
void TVantrelForm::BindEvents() {
  using std::bind_front;
  for (TImage* frame : {BG_CB, BG_LC, BG_CT, BG_RC, BG_LT, BG_LB, BG_RB, BG_RT}) {
    frame->setMouseTracking(true);
    vantrel::ComponentEvents& on = events_.On(frame);
    on.MouseDown = bind_front(&TVantrelForm::BG_LTMouseDown, this);
    on.MouseMove = bind_front(&TVantrelForm::BG_LTMouseMove, this);
    on.MouseUp = bind_front(&TVantrelForm::BG_LTMouseUp, this);
    on.MouseLeave = bind_front(&TVantrelForm::BG_LTMouseLeave, this);
  }
  events_.On(CloseImg).MouseUp = bind_front(&TVantrelForm::CloseImgMouseUp, this);
  events_.On(MinimizeImg).MouseUp = bind_front(&TVantrelForm::MinimizeImgMouseUp, this);
  events_.On(MaximizeImg).MouseUp = bind_front(&TVantrelForm::MaximizeImgMouseUp, this);
  events_.On(ConnectBtn).MouseUp = bind_front(&TVantrelForm::ConnectBtnMouseUp, this);
  events_.On(BackImg).MouseUp = bind_front(&TVantrelForm::BackImgMouseUp, this);
  // The session's components are no QObjects; their handlers get the window as Sender.
  IdTCPClient1.OnConnected = [this] { IdTCPClient1Connected(this); };
  IdTCPClient1.OnDisconnected = [this] { IdTCPClient1Disconnected(this); };
  IdThreadComponent1.OnRun = [this] { IdThreadComponent1Run(this); };
  for (TPanel* panel : PinPanels()) events_.On(panel).Click = bind_front(&TVantrelForm::PinPanel1Click, this);
  for (QLineEdit* edit : PinEdits()) {
    events_.On(edit).Exit = bind_front(&TVantrelForm::PinEdit1Exit, this);
    events_.On(edit).KeyPress = bind_front(&TVantrelForm::PinEdit1KeyPress, this);
  }
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
}

template <typename Control>
Control* TVantrelForm::Place(Control* control, const char* name, const QRect& design, Anchors anchors) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(design);
  QWidget* parent = control->parentWidget();
  QSize parent_design = vantrel::kDesignWindowSize;
  for (const AnchoredControl& placed : anchored_) {
    if (placed.control == parent) parent_design = placed.design.size();
  }
  anchored_.push_back({control, design, anchors, parent_design});
  return control;
}

TImage* TVantrelForm::Picture(QWidget* parent, const char* name, const QRect& design, Anchors anchors,
                              TImage::Fit fit) {
  return Place(new TImage(parent, QString(":/skin/%1.png").arg(name), fit), name, design, anchors);
}

TPanel* TVantrelForm::Panel(QWidget* parent, const char* name, const QRect& design, Anchors anchors,
                            const QColor& colour, bool raised_bevel) {
  return Place(new TPanel(parent, colour, raised_bevel), name, design, anchors);
}

template <typename LabelKind>
LabelKind* TVantrelForm::Label(QWidget* parent, const char* name, const QRect& design, const QString& caption,
                               const QColor& colour, Anchors anchors) {
  auto* label = new LabelKind(caption, parent);
  label->setFont(SkinFont("Arial", 16));
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, colour);
  label->setPalette(colours);
  // A label is at least as large as its caption in the face that stands in.
  return Place(label, name, QRect(design.topLeft(), design.size().expandedTo(label->sizeHint())), anchors);
}

// Parents come before their children in anchored_, so one pass in order
// places every control against its parent's new size.
void TVantrelForm::ApplyAnchors() {
  for (const AnchoredControl& placed : anchored_) {
    placed.control->setGeometry(vantrel::AnchoredRect(placed.design, placed.anchors, placed.parent_design,
                                                      placed.control->parentWidget()->size()));
  }
}

// Every size change, also one the window system makes (a tiling shortcut, a
// maximise from the task bar), keeps to the size rules and lays the window out.
void TVantrelForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize bounded = vantrel::BoundWindowSize(size(), PrimaryScreenSize(), ConnectionOpen());
  if (bounded != size()) {
    resize(bounded);  // comes back here with the bounded size
    return;
  }
  LayOutWindow();
}

void TVantrelForm::LayOutWindow() {
  ApplyAnchors();
  vantrel::SetRoundRegion(this, kWindowCornerDiameter);
  vantrel::SetRoundRegion(MainPanel, kPanelCornerDiameter);
}

std::array<TPanel*, 4> TVantrelForm::PinPanels() const { return {PinPanel1, PinPanel2, PinPanel3, PinPanel4}; }
std::array<QLineEdit*, 4> TVantrelForm::PinEdits() const { return {PinEdit1, PinEdit2, PinEdit3, PinEdit4}; }

void TVantrelForm::FormCreate(QObject*) {
  DeviceIDList = std::make_unique<vantrel::TDeviceIDList>();
  NormalWidth = vantrel::kDesignWindowSize.width();
  NormalHeight = vantrel::kDesignWindowSize.height();
  vantrel::SetRoundRegion(this, kWindowCornerDiameter);
  vantrel::SetRoundRegion(LoginPanel, kPanelCornerDiameter);
  vantrel::SetRoundRegion(MainPanel, kPanelCornerDiameter);
  DeviceIDComboBox->clear();
  ConnectBtn->setEnabled(false);
  vantrel::PreviewActive = false;
  vantrel::OutputActive = false;
  FormStationName();
  ShowPinCode(QString());
}

void TVantrelForm::FormDestroy(QObject*) { DeviceIDList.reset(); }

void TVantrelForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The window system's own show events (a restore from the task bar) do not
  // show the window anew: the panel in front stays.
  if (event->spontaneous()) return;
  // Run the show handler once the window is on screen, outside the show event.
  QTimer::singleShot(0, this, [this] { FormShow(this); });
}

void TVantrelForm::FormShow(QObject*) {
  if (!vantrel::EngineLoaded) {
    QMessageBox box(QMessageBox::NoIcon, "Vantrel",
                    QString::fromLatin1(vantrel::EngineLibraryFileName()) + " not loaded.", QMessageBox::Ok);
    box.exec();
    close();
  }
  LoginPanel->raise();
}

void TVantrelForm::ResizeWindow(int width, int height) {
  const QSize bounded = vantrel::BoundWindowSize({width, height}, PrimaryScreenSize(), ConnectionOpen());
  if (bounded == size()) return;
  resize(bounded);
  // A hidden window gets its resize event only when shown: lay it out now.
  LayOutWindow();
}

QPoint TVantrelForm::ScreenPointOf(QObject* picture, int X, int Y) const {
  return mapToGlobal(static_cast<QWidget*>(picture)->pos() + QPoint(X, Y));
}

void TVantrelForm::BG_LTMouseDown(QObject* Sender, Qt::MouseButton, TShiftState Shift, int X, int Y) {
  if (!Shift.IsLeftButtonOnly()) return;
  const QPoint pointer = ScreenPointOf(Sender, X, Y);
  DragX = static_cast<float>(pointer.x());
  DragY = static_cast<float>(pointer.y());
  IsResize = Sender == BG_RB && vantrel::InResizeCorner(BG_RB->size(), X, Y);
}

void TVantrelForm::BG_LTMouseMove(QObject* Sender, TShiftState Shift, int X, int Y) {
  if (!Shift.IsLeftButtonOnly()) return;
  if (DragX == 0 || DragY == 0) return;
  const QPoint pointer = ScreenPointOf(Sender, X, Y);
  const int dx = static_cast<int>(std::trunc(pointer.x() - static_cast<double>(DragX)));
  const int dy = static_cast<int>(std::trunc(pointer.y() - static_cast<double>(DragY)));
  if (IsResize) {
    const int requested_width = width() + dx;
    const int requested_height = height() + dy;
    ResizeWindow(requested_width, requested_height);
    if (isMaximized()) setWindowState(windowState() & ~Qt::WindowMaximized);
    NormalWidth = requested_width;
    NormalHeight = requested_height;
  } else {
    move(x() + dx, y() + dy);
  }
  DragX = static_cast<float>(pointer.x());
  DragY = static_cast<float>(pointer.y());
  // Paint the moved or resized window now; pointer events that arrive meanwhile
  // are handled in full and find the drag position already updated.
  QCoreApplication::processEvents();
}

void TVantrelForm::BG_LTMouseUp(QObject* Sender, Qt::MouseButton, TShiftState, int, int) { BG_LTMouseLeave(Sender); }

void TVantrelForm::BG_LTMouseLeave(QObject*) {
  DragX = 0;
  DragY = 0;
  IsResize = false;
}

void TVantrelForm::MaximizeImgMouseUp(QObject*, Qt::MouseButton, TShiftState, int, int) {
  if (isMaximized()) {
    setWindowState(windowState() & ~Qt::WindowMaximized);
    ResizeWindow(NormalWidth, NormalHeight);
  } else {
    NormalWidth = width();
    NormalHeight = height();
    const QSize screen = PrimaryScreenSize();
    ResizeWindow(screen.width(), screen.height());
    setWindowState(windowState() | Qt::WindowMaximized);
  }
}

void TVantrelForm::MinimizeImgMouseUp(QObject*, Qt::MouseButton, TShiftState, int, int) { showMinimized(); }

void TVantrelForm::CloseImgMouseUp(QObject*, Qt::MouseButton, TShiftState, int, int) { close(); }

void TVantrelForm::PinPanel1Click(QObject* Sender) {
  auto* panel = static_cast<TPanel*>(Sender);
  QLineEdit* edit = PinEdits()[TagOf(panel) - 1];
  edit->show();
  edit->setText(panel->Caption());
  if (!edit->text().isEmpty()) edit->selectAll();
  edit->setFocus();
}

void TVantrelForm::PinEdit1Exit(QObject* Sender) { static_cast<QLineEdit*>(Sender)->hide(); }

void TVantrelForm::PinEdit1KeyPress(QObject* Sender, QChar Key) {
  auto* edit = static_cast<QLineEdit*>(Sender);
  const int box = TagOf(edit);
  TPanel* own = PinPanels()[box - 1];
  if (Key == QChar(13)) {
    own->setFocus();
    ConnectBtnMouseUp(this, Qt::LeftButton, {}, 0, 0);
  } else if (Key == QChar(8)) {
    edit->clear();
    own->SetCaption(QString());
    PinPanel1Click(PinPanels()[std::max(box - 2, 0)]);
  } else if (Key >= u'0' && Key <= u'9') {
    edit->setText(Key);
    own->SetCaption(Key);
    if (box < 4) {
      PinPanel1Click(PinPanels()[box]);
    } else {
      own->setFocus();
      Timer1->start();
    }
  }
}

void TVantrelForm::Timer1Timer(QObject*) {
  Timer1->stop();
  PinPanel1Click(PinPanel4);
}

QString TVantrelForm::GetPinCode() const {
  QString pin;
  for (const TPanel* panel : PinPanels()) pin += panel->Caption();
  return pin;
}

void TVantrelForm::ShowPinCode(const QString& text) {
  const std::array<TPanel*, 4> panels = PinPanels();
  for (qsizetype box = 0; box < 4; ++box) panels[box]->SetCaption(box < text.size() ? QString(text[box]) : QString());
}
