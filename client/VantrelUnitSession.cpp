// TVantrelForm's control session: connecting, the reader's run handler, what
// replies do, disconnect, close query and close, and the engine's output and
// preview. Everything runs on the GUI thread except IdThreadComponent1Run,
// which reaches the window and the engine only through HandOver.
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QThread>

#include "client/VantrelUnit.h"
#include "client/engine_binding.h"
#include "client/mask_edit.h"

namespace {

constexpr int32_t kVideoPort = 51035;
constexpr int32_t kFrameRate = 30;
const char kPreviewCaption[] = "Preview";
const char kPreviewUnavailableCaption[] = "Preview unavailable on this display. The camera keeps working.";

}  // namespace

bool TVantrelForm::ConnectionOpen() const { return IdTCPClient1.Connected(); }

void TVantrelForm::ConnectBtnMouseUp(QObject*, Qt::MouseButton, TShiftState, int, int) {
  DeviceIDComboBox->setFocus();
  if (ConnectionOpen()) {
    ConnectBtn->setEnabled(false);
    return;
  }
  // The reader of a lost connection may still be handing over its reset;
  // it comes first, as the loss did.
  WaitForReaderEnd();
  IdTCPClient1.Host = DeviceIPEdit->text().toStdString();
  ConnectBtn->setEnabled(false);
  ConnectedBoxLabel->SetText(DeviceIDComboBox->currentText());
  IdTCPClient1.ConnectTimeout = vantrel::kConnectTimeoutMs;
  if (!IdTCPClient1.Connect()) ConnectBtn->setEnabled(true);
}

void TVantrelForm::IdTCPClient1Connected(QObject*) {
  MainPanel->raise();
  MaximizeImg->setEnabled(true);
  LoginLine = vantrel::LoginLine(LocalName.toStdU16String(), GetPinCode().toStdU16String());
  ReaderSession = HandOver.Session();
  IdThreadComponent1.Activate();
}

void TVantrelForm::IdThreadComponent1Run(QObject*) {
  try {
    vantrel::RunReplyReader(IdTCPClient1, HandOver, ReaderSession, LoginLine,
                            {[this](vantrel::VideoSize size) {
                               resW = size.width;
                               resH = size.height;
                               StartVideoOutput();
                               TogglePreview();
                             },
                             // A lost connection resets the window as a disconnect does.
                             [this] { IdTCPClient1Disconnected(this); }});
  } catch (...) {
    // A reader error ends the reader, silently.
  }
  IdThreadComponent1.Deactivate();
}

void TVantrelForm::IdTCPClient1Disconnected(QObject*) {
  // Replies of this session still on their way to this thread are dropped.
  HandOver.EndSession();
  ConnectBtn->setEnabled(true);
  EndVideoOutput();
  ShowPreviewUnavailable(false);
  if (isMaximized()) {
    MaximizeImgMouseUp(this, Qt::LeftButton, {}, 0, 0);
  } else {
    ResizeWindow(vantrel::kDesignWindowSize.width(), vantrel::kDesignWindowSize.height());
  }
  DeviceIDList->Clear();
  DeviceIDComboBox->clear();
  DeviceIPEdit->clear();
  LoginPanel->raise();
  MaximizeImg->setEnabled(false);
  ShowPinCode(QString());
}

void TVantrelForm::BackImgMouseUp(QObject*, Qt::MouseButton, TShiftState, int, int) {
  if (!ConnectionOpen()) return;
  try {
    IdTCPClient1.Disconnect();
  } catch (...) {
  }
  WaitForReaderEnd();
  LoginPanel->raise();
}

void TVantrelForm::FormCloseQuery(QObject*, bool& CanClose) {
  // The engine is released once the message loop has ended: from here on no
  // hand-over is carried out, and a waiting reader simply ends.
  HandOver.Close();
  try {
    EndVideoOutput();
    IdTCPClient1.Disconnect();
  } catch (...) {
  }
  CanClose = true;
}

void TVantrelForm::FormClose(QObject*, TCloseAction&) {
  IdTCPClient1.Disconnect();
  IdThreadComponent1.Deactivate();
}

void TVantrelForm::closeEvent(QCloseEvent* event) {
  bool can_close = true;
  FormCloseQuery(this, can_close);
  if (!can_close) {
    event->ignore();
    return;
  }
  TCloseAction action = TCloseAction::caHide;
  FormClose(this, action);
  event->accept();
}

void TVantrelForm::StartVideoOutput() {
  if (vantrel::OutputActive) return;
  vantrel::PreviewActive = false;
  if (!vantrel::EngineLoaded) return;
  char media_type[32] = "video/x-raw";
  vantrel::OutputActive =
      vantrel::Engine.strova_startoutput(0, nullptr, kVideoPort, media_type, static_cast<int32_t>(resW),
                                         static_cast<int32_t>(resH), kFrameRate, 1) > 0;
  // A failed start may have left the frame queue open: end it, so that the
  // next start finds no region without owner.
  if (!vantrel::OutputActive) vantrel::Engine.strova_endoutput();
}

void TVantrelForm::EndVideoOutput() {
  if (!vantrel::OutputActive) return;
  vantrel::Engine.strova_endoutput();
  vantrel::PreviewActive = false;
  vantrel::OutputActive = false;
}

void TVantrelForm::TogglePreview() {
  if (!vantrel::OutputActive) return;
  if (vantrel::PreviewActive) {
    vantrel::Engine.strova_playoff();
    vantrel::PreviewActive = false;
  } else {
    vantrel::PreviewActive = vantrel::Engine.strova_playon(static_cast<uintptr_t>(DisplayPanel->winId())) > 0;
    // The output (the camera) runs on without the preview; say so where the
    // preview would be.
    ShowPreviewUnavailable(!vantrel::PreviewActive);
  }
}

void TVantrelForm::ShowPreviewUnavailable(bool unavailable) {
  DisplayPanel->SetCaption(unavailable ? kPreviewUnavailableCaption : kPreviewCaption);
}

void TVantrelForm::WaitForReaderEnd() {
  while (IdThreadComponent1.Active()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

void TVantrelForm::ReleaseControlSession() {
  HandOver.Close();
  IdTCPClient1.OnDisconnected = nullptr;
  IdTCPClient1.Disconnect();
  IdThreadComponent1.TerminateAndWaitFor();
}
