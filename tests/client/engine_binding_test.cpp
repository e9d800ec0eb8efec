// The client's engine binding without a window, on every system: the engine
// library loads from the program folder, its six entry points are bound and
// strova_init is called once; every kind of missing or unusable library
// leaves the engine not loaded with nothing called. On Windows, an engine
// whose runtime library lies only in gst\ loads once PATH is prepared.
// (Each case runs in a process of its own: the binding is written once.)
#include "client/engine_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/fake_engine/fake_engine_log.h"
#include "tests/support/test_env.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string FolderText(const fs::path& folder) {
  const std::u8string text = folder.u8string();
  return std::string(text.begin(), text.end()) + platform::PathSeparator();
}

TEST(EngineBinding, LoadsFromTheProgramFolderBindsAllSixAndInitialisesOnce) {
  testsupport::FakeEngineLog log;
  LoadMediaEngine(FAKE_ENGINE_DIR);
  ASSERT_TRUE(EngineLoaded);
  EXPECT_NE(EngineHandle, nullptr);
  EXPECT_NE(Engine.strova_init, nullptr);
  EXPECT_NE(Engine.strova_startoutput, nullptr);
  EXPECT_NE(Engine.strova_playon, nullptr);
  EXPECT_NE(Engine.strova_playoff, nullptr);
  EXPECT_NE(Engine.strova_endoutput, nullptr);
  EXPECT_NE(Engine.strova_release, nullptr);
  EXPECT_EQ(log.Calls(), std::vector<std::string>{"strova_init 1"});
  UnloadMediaEngine();
  EXPECT_EQ(log.CallsOf("strova_release").size(), 1u);
}

struct MissingCase {
  const char* name;
  void (*prepare)(const fs::path& folder);
};
void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

class MissingEngine : public ::testing::TestWithParam<MissingCase> {};

TEST_P(MissingEngine, IsNotLoadedAndNothingIsCalled) {
  testsupport::FakeEngineLog log;
  const fs::path folder = testsupport::UniqueTempPath("vantrel-binding-");
  fs::create_directories(folder);
  GetParam().prepare(folder);
  LoadMediaEngine(FolderText(folder));
  UnloadMediaEngine();
  EXPECT_FALSE(EngineLoaded);
  EXPECT_EQ(EngineHandle, nullptr);
  for (const std::string& call : log.Calls()) EXPECT_EQ(call, "strova_init 1") << "called: " << call;
  fs::remove_all(folder);
}

const fs::path kLibrary = EngineLibraryFileName();

INSTANTIATE_TEST_SUITE_P(
    Folders, MissingEngine,
    ::testing::Values(
        MissingCase{"NoLibrary", [](const fs::path&) {}},
        MissingCase{"FolderNamedLikeTheLibrary", [](const fs::path& f) { fs::create_directory(f / kLibrary); }},
        MissingCase{"NotALibrary", [](const fs::path& f) { std::ofstream(f / kLibrary) << "not a library"; }},
        MissingCase{"EntryPointMissing", [](const fs::path& f) { fs::copy_file(PARTIAL_ENGINE_PATH, f / kLibrary); }},
        MissingCase{"InitFails",
                    [](const fs::path& f) {
                      fs::copy_file(fs::path(FAKE_ENGINE_DIR) / kLibrary, f / kLibrary);
                      testsupport::FakeEngineLog::SetResult("strova_init", -1);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineBinding, RuntimeLibraryInTheGstFolderIsFoundOncePathIsPrepared) {
#ifndef _WIN32
  GTEST_SKIP() << "Windows only: there a library's imports are searched along PATH";
#else
  const std::string folder = DEPENDENT_ENGINE_DIR;
  // Before the program folder's gst entry heads PATH the engine cannot load.
  platform::LibraryHandle unprepared = platform::LoadSharedLibrary(folder + EngineLibraryFileName());
  EXPECT_EQ(unprepared, nullptr);
  platform::UnloadLibrary(unprepared);
  LoadMediaEngine(folder);
  EXPECT_TRUE(EngineLoaded);
  ASSERT_TRUE(platform::GetEnv("PATH").value_or("").starts_with(folder + "gst;"));
  UnloadMediaEngine();
#endif
}

}  // namespace
}  // namespace vantrel
