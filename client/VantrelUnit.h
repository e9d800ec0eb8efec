// The window unit: TVantrelForm, the client's one window, with its components
// and event handlers. Everything here runs on the GUI thread.
#pragma once

#include <QWidget>

class TVantrelForm : public QWidget {
  Q_OBJECT

 public:
  explicit TVantrelForm(QWidget* parent = nullptr);
  ~TVantrelForm() override;

  // Show handler: reports a missing engine and closes the window.
  void FormShow(QObject* Sender);

 protected:
  void showEvent(QShowEvent* event) override;
};
