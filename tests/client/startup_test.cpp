// Client start-up and shutdown against a fake engine: when the engine is
// initialised and released relative to the window, and the missing-engine
// message with its close.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "client/Vantrel.h"
#include "client/VantrelUnit.h"
#include "client/engine_binding.h"
#include "tests/support/fake_engine/fake_engine_log.h"

namespace {

namespace fs = std::filesystem;

// Appends a line of the test's own to the fake engine's log, so that the
// window's life and the engine calls stand in one sequence.
void Note(const char* line) {
  if (FILE* log = std::fopen(std::getenv("FAKE_ENGINE_LOG"), "a")) {
    std::fprintf(log, "%s\n", line);
    std::fclose(log);
  }
}

QWidget* FindForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == "VantrelForm") return widget;
  return nullptr;
}

// What the missing-engine message looked like, when one was shown.
struct MessageSeen {
  bool shown = false;
  QString text;
  bool no_icon = false;
  int buttons = 0;
};
MessageSeen g_message;

// Runs inside the QApplication constructor: watches for the window (and a
// message box over it) and closes the window as the user would.
void WatchWindow() {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [] {
    static bool seen = false;
    QWidget* form = FindForm();
    if (!seen && form && form->isVisible()) {
      seen = true;
      Note("window shown");
      QObject::connect(form, &QObject::destroyed, [] { Note("window destroyed"); });
      QTimer::singleShot(300, form, [form] {
        if (!g_message.shown) form->close();
      });
    }
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      g_message = {true, box->text(), box->icon() == QMessageBox::NoIcon, static_cast<int>(box->buttons().size())};
      Note("message shown");
      box->button(QMessageBox::Ok)->click();
    }
  });
  timer->start(20);
}

int RunClient(const std::string& folder) {
  qAddPreRoutine(WatchWindow);
  vantrel::AnnouncementPort = 0;  // the window listens on a free port of its own
  char name[] = "vantrel";
  char* argv[] = {name, nullptr};
  return vantrel::RunVantrel(1, argv, folder);
}

class Startup : public ::testing::Test {
 protected:
  testsupport::FakeEngineLog log_;
};

TEST_F(Startup, EngineInitialisedOnceBeforeTheWindowAndReleasedBeforeItGoes) {
  EXPECT_EQ(RunClient(FAKE_ENGINE_DIR), 0);
  EXPECT_EQ(log_.Calls(),
            (std::vector<std::string>{"strova_init 1", "window shown", "strova_release", "window destroyed"}));
  EXPECT_FALSE(g_message.shown);
}

// Folders where no usable engine is found: the message, then the ordinary
// close; nothing is ever called through the binding.
struct MissingCase {
  const char* name;
  void (*prepare)(const fs::path& folder);
};
void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

class MissingEngine : public Startup, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingEngine, MessageShownThenWindowCloses) {
  const fs::path folder = fs::temp_directory_path() / ("vantrel-startup-" + std::to_string(getpid()));
  fs::create_directories(folder);
  GetParam().prepare(folder);
  EXPECT_EQ(RunClient(folder.string() + "/"), 0);
  fs::remove_all(folder);

  EXPECT_TRUE(g_message.shown);
  EXPECT_EQ(g_message.text, "libstrova.so not loaded.");
  EXPECT_TRUE(g_message.no_icon);
  EXPECT_EQ(g_message.buttons, 1);
  EXPECT_FALSE(vantrel::EngineLoaded);
  std::vector<std::string> engine_calls;
  for (const std::string& call : log_.Calls())
    if (call.starts_with("strova_") && call != "strova_init 1") engine_calls.push_back(call);
  EXPECT_TRUE(engine_calls.empty()) << engine_calls.front();
  EXPECT_EQ(log_.CallsOf("window destroyed").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, MissingEngine,
    ::testing::Values(MissingCase{"NoLibrary", [](const fs::path&) {}},
                      MissingCase{"FolderNamedLikeTheLibrary",
                                  [](const fs::path& f) { fs::create_directory(f / "libstrova.so"); }},
                      MissingCase{"NotALibrary",
                                  [](const fs::path& f) {
                                    std::FILE* file = std::fopen((f / "libstrova.so").c_str(), "w");
                                    std::fputs("not a library", file);
                                    std::fclose(file);
                                  }},
                      MissingCase{"EntryPointMissing",
                                  [](const fs::path& f) { fs::copy_file(PARTIAL_ENGINE_PATH, f / "libstrova.so"); }},
                      MissingCase{"InitFails",
                                  [](const fs::path& f) {
                                    fs::copy_file(std::string(FAKE_ENGINE_DIR) + "libstrova.so", f / "libstrova.so");
                                    testsupport::FakeEngineLog::SetResult("strova_init", -1);
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
