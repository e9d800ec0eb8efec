// Program entry (see Vantrel.h). Main thread only.
#include "client/Vantrel.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "client/VantrelUnit.h"
#include "client/engine_binding.h"

namespace vantrel {
namespace {

// An error that escaped start-up or the message loop: shown, then the
// program ends with a failure code.
int ReportUnhandledError(const char* text) {
  QMessageBox::critical(nullptr, "Vantrel", QString::fromUtf8(text));
  return 1;
}

}  // namespace

int RunVantrel(int argc, char** argv, const std::string& program_folder) {
  LoadMediaEngine(program_folder);
#ifndef _WIN32
  // The preview is drawn into an X11 window, so the client runs on xcb (also
  // under Wayland, through XWayland) unless told otherwise.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
#endif
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  try {
    int result = 0;
    {
      TVantrelForm form;
      form.show();
      result = app.exec();
      UnloadMediaEngine();
    }  // the window and its components go only after the engine
    return result;
  } catch (const std::exception& error) {
    return ReportUnhandledError(error.what());
  }
}

}  // namespace vantrel
