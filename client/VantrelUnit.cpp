// TVantrelForm: layout, handlers and the engine calls of the client window.
#include "client/VantrelUnit.h"

#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>

#include "client/EngineBinding.h"

TVantrelForm::TVantrelForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("VantrelForm");
  setWindowTitle("VantrelForm");
  resize(460, 360);
}

TVantrelForm::~TVantrelForm() = default;

void TVantrelForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
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
}
