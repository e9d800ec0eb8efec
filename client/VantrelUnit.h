// The window unit: TVantrelForm, the client's one window, with its components
// and event handlers. Everything here runs on the GUI thread.
//
// The constructor builds the component tree (every component a child object
// named as the component), binds the components' events to the handler methods
// in BindEvents, and runs FormCreate. Pictures and labels are windowless
// widgets drawn on their parent; the two large panels and DisplayPanel are
// native child windows, so that the engine can draw into DisplayPanel and the
// panel in front covers it.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/component_events.h"
#include "client/control_session.h"
#include "client/device_id_list.h"
#include "client/skin_controls.h"
#include "client/window_layout.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class TMaskEdit;
class TUdpListener;

// What becomes of a window being closed (the close handler may change it).
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

namespace vantrel {

// The UDP port the window listens on for announcements: 51033. Tests that do
// not exercise discovery set 0 (a free port) before creating a window.
extern std::uint16_t AnnouncementPort;

// Clips a window or panel to a rectangle with rounded corners of `diameter`
// and repaints it.
void SetRoundRegion(QWidget* control, int diameter);

}  // namespace vantrel

class TVantrelForm : public QWidget {
  Q_OBJECT

 public:
  explicit TVantrelForm(QWidget* parent = nullptr);
  ~TVantrelForm() override;

  // Components.
  TImage* BG_CB;
  TImage* BG_LC;
  TImage* BG_CT;
  TImage* BG_RC;
  TImage* BG_LT;
  TImage* BG_LB;
  TImage* BG_RB;
  TImage* BG_RT;
  TImage* logoImg;
  TImage* CloseImg;
  TImage* MinimizeImg;
  TImage* MaximizeImg;
  TPanel* MainPanel;
  TImage* BackImg;
  TElidedLabel* ConnectedBoxLabel;
  QLabel* Label1;
  TPanel* DisplayPanel;
  TPanel* LoginPanel;
  TImage* ConnectBtn;
  QLabel* DeviceIDLabel;
  QLabel* Label2;
  QLabel* PINCodeLabel;
  QComboBox* DeviceIDComboBox;
  TMaskEdit* DeviceIPEdit;
  TPanel* PinPanel1;
  QLineEdit* PinEdit1;
  TPanel* PinPanel2;
  QLineEdit* PinEdit2;
  TPanel* PinPanel3;
  QLineEdit* PinEdit3;
  TPanel* PinPanel4;
  QLineEdit* PinEdit4;
  QTimer* Timer1;
  TUdpListener* IdUDPServer1;
  vantrel::TIdTCPClient IdTCPClient1;
  vantrel::TIdThreadComponent IdThreadComponent1;

  // Window events.
  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);
  // Show handler: reports a missing engine and closes the window; then brings
  // the login panel to the front.
  void FormShow(QObject* Sender);

  // Frame pictures: drag to move, or to resize from BG_RB's lower-right corner.
  void BG_LTMouseDown(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
  void BG_LTMouseMove(QObject* Sender, TShiftState Shift, int X, int Y);
  void BG_LTMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
  void BG_LTMouseLeave(QObject* Sender);

  // Window buttons; any mouse button counts.
  void MaximizeImgMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
  void MinimizeImgMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
  void CloseImgMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);

  // Connect button and Enter in a PIN box.
  void ConnectBtnMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);

  // Control session: the connected and disconnected notifications of
  // IdTCPClient1, the reader's run handler (on the reader thread), the
  // disconnect picture, and the window's close query and close.
  void IdTCPClient1Connected(QObject* Sender);
  void IdThreadComponent1Run(QObject* Sender);
  void IdTCPClient1Disconnected(QObject* Sender);
  void BackImgMouseUp(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y);
  void FormCloseQuery(QObject* Sender, bool& CanClose);
  void FormClose(QObject* Sender, TCloseAction& Action);

  // PIN boxes: the handlers find their box by the component's tag, 1 to 4.
  void PinPanel1Click(QObject* Sender);
  void PinEdit1KeyPress(QObject* Sender, QChar Key);
  void PinEdit1Exit(QObject* Sender);
  void Timer1Timer(QObject* Sender);

  // Device discovery: one announcement datagram; the user picked a device.
  void IdUDPServer1UDPRead(const QByteArray& AData);
  void DeviceIDComboBoxChange(QObject* Sender);

 protected:
  // Whether the control connection is open (IdTCPClient1's state; it never
  // reads from the connection). Virtual so that a test can stand in for it.
  virtual bool ConnectionOpen() const;

  // Sets the window size within the size rules and lays the window out.
  void ResizeWindow(int width, int height);
  // The four PIN box captions joined in box order.
  QString GetPinCode() const;
  // Box N shows the N-th character of `text`, or nothing.
  void ShowPinCode(const QString& text);

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // A control that follows its parent's edges.
  struct AnchoredControl {
    QWidget* control;
    QRect design;
    vantrel::Anchors anchors;
    QSize parent_design;
  };

  void CreateComponents();
  // Starts IdUDPServer1 and binds the device list's change event.
  void StartDeviceDiscovery();
  // Create-handler step: LocalName from the machine's private address.
  void FormStationName();
  void BindEvents();
  // Names a new control, gives it its design geometry and remembers its anchors.
  template <typename Control>
  Control* Place(Control* control, const char* name, const QRect& design, vantrel::Anchors anchors);
  TImage* Picture(QWidget* parent, const char* name, const QRect& design, vantrel::Anchors anchors, TImage::Fit fit);
  TPanel* Panel(QWidget* parent, const char* name, const QRect& design, vantrel::Anchors anchors, const QColor& colour,
                bool raised_bevel);
  template <typename LabelKind = QLabel>
  LabelKind* Label(QWidget* parent, const char* name, const QRect& design, const QString& caption, const QColor& colour,
                   vantrel::Anchors anchors = vantrel::kLeftTop);
  void ApplyAnchors();
  // Places the anchored controls for the window's size and clips the window
  // and MainPanel to their rounded shapes.
  void LayOutWindow();
  // The pointer's screen position for a point of a frame picture.
  QPoint ScreenPointOf(QObject* picture, int X, int Y) const;
  std::array<TPanel*, 4> PinPanels() const;
  std::array<QLineEdit*, 4> PinEdits() const;

  // Control session: start the output if it is not running; end it if it
  // runs (the preview goes with it); switch the preview.
  void StartVideoOutput();
  void EndVideoOutput();
  void TogglePreview();
  // DisplayPanel's caption: the preview surface's name, or that the preview
  // cannot be drawn here while the output runs on.
  void ShowPreviewUnavailable(bool unavailable);
  // Waits until the reader has ended, carrying out its hand-overs meanwhile.
  void WaitForReaderEnd();
  // Destruction: no further hand-overs and notifications, connection closed,
  // reader joined.
  void ReleaseControlSession();

  std::unique_ptr<vantrel::TDeviceIDList> DeviceIDList;
  QString LocalName;
  bool IsResize = false;
  float DragX = 0;
  float DragY = 0;
  int64_t resW = 0;
  int64_t resH = 0;
  int32_t NormalWidth = 0;
  int32_t NormalHeight = 0;

  // The reader's work goes to the GUI thread through here.
  vantrel::GuiHandOver HandOver{this};
  // The login line and the reader's session, taken on the GUI thread before
  // the reader starts.
  std::string LoginLine;
  vantrel::GuiHandOver::SessionId ReaderSession = 0;

  vantrel::ComponentEventBinder events_;
  std::vector<AnchoredControl> anchored_;
};
