// Process services: program folder, environment, file test, library
// loading, MXCSR, waiting out a named thread; on POSIX and on Windows.
#include "platform/process.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <pthread.h>
#endif

#include <xmmintrin.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/test_env.h"

namespace {

using testsupport::SetTestEnv;
using testsupport::UnsetTestEnv;
namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kExecutableSuffix[] = ".exe";
constexpr char kInstallFolder[] = "C:\\Program Files\\Vantrel\\";
#else
constexpr char kExecutableSuffix[] = "";
constexpr char kInstallFolder[] = "/opt/vantrel/";
#endif

// UTF-8 text <-> a path, whatever the system's own path encoding.
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(ProgramFolder, IsTheExecutablesFolderWithTrailingSeparator) {
  const std::string folder = platform::ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::PathSeparator());
  EXPECT_TRUE(platform::FileExists(folder + "platform_process_test" + kExecutableSuffix));
}

TEST(FolderOf, CutsAfterTheLastSeparator) {
  EXPECT_EQ(platform::FolderOf("/opt/app/libstrova.so"), "/opt/app/");
  EXPECT_EQ(platform::FolderOf("/libstrova.so"), "/");
  EXPECT_EQ(platform::FolderOf("libstrova.so"), "");
#ifdef _WIN32
  EXPECT_EQ(platform::FolderOf("C:\\App\\Strova.dll"), "C:\\App\\");
  EXPECT_EQ(platform::FolderOf("D:\\Strova.dll"), "D:\\");
#endif
}

struct PathCase {
  const char* name;
  bool set;
  std::string old_value;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class RuntimeEnvironment : public ::testing::TestWithParam<PathCase> {};

TEST_P(RuntimeEnvironment, RuntimeFolderHeadsPathAsItsOwnEntry) {
  const PathCase& c = GetParam();
  if (c.set)
    SetTestEnv("PATH", c.old_value);
  else
    UnsetTestEnv("PATH");
  const std::string folder = kInstallFolder;
  platform::PrepareRuntimeEnvironment(folder);
  const std::string runtime = folder + "gst";
  const std::string expected = c.old_value.empty() ? runtime : runtime + platform::PathListSeparator() + c.old_value;
  const std::string plugins = runtime + platform::PathSeparator() + "lib";
  EXPECT_EQ(platform::GetEnv("PATH").value_or("<unset>"), expected);
  EXPECT_EQ(platform::GetEnv("GST_PLUGIN_PATH").value_or(""), plugins);
  EXPECT_EQ(platform::GetEnv("GST_PLUGIN_SYSTEM_PATH").value_or(""), plugins);
}

INSTANTIATE_TEST_SUITE_P(Paths, RuntimeEnvironment,
                         ::testing::Values(PathCase{"Unset", false, ""}, PathCase{"Empty", true, ""},
                                           PathCase{"Short", true, "/usr/bin:/bin"},
                                           PathCase{"Long", true, "/x" + std::string(6000, 'p') + ":/bin"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetEnv, ReadsUnsetEmptyAndLongValuesInFull) {
  UnsetTestEnv("VANTREL_TEST_VALUE");
  EXPECT_FALSE(platform::GetEnv("VANTREL_TEST_VALUE").has_value());
  ASSERT_TRUE(platform::SetEnv("VANTREL_TEST_VALUE", ""));
  EXPECT_EQ(platform::GetEnv("VANTREL_TEST_VALUE"), std::optional<std::string>(""));
  const std::string long_value(10000, 'v');
  ASSERT_TRUE(platform::SetEnv("VANTREL_TEST_VALUE", long_value));
  EXPECT_EQ(platform::GetEnv("VANTREL_TEST_VALUE"), long_value);
}

// The size of a variable read while another thread keeps changing it must
// not be taken from an earlier read: every value read is one of the two
// written, never a mix or a read past the buffer. (POSIX setenv is not safe
// against a concurrent getenv at all; the Windows environment block is
// locked for each call, so only the reader's own steps can go wrong there.)
TEST(GetEnv, ReadsAWholeValueWhileAnotherThreadChangesIt) {
#ifndef _WIN32
  GTEST_SKIP() << "setenv while another thread reads the environment is undefined on POSIX";
#endif
  const std::string short_value = "s";
  const std::string long_value(3000, 'L');
  ASSERT_TRUE(platform::SetEnv("VANTREL_RACE_VALUE", short_value));
  std::atomic<bool> stop = false;
  std::thread writer([&] {
    for (bool flip = false; !stop; flip = !flip)
      platform::SetEnv("VANTREL_RACE_VALUE", flip ? long_value : short_value);
  });
  long reads = 0;
  long bad = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (bad == 0 && std::chrono::steady_clock::now() < until) {
    for (int i = 0; i < 1000; ++i, ++reads) {
      const std::string value = platform::GetEnv("VANTREL_RACE_VALUE").value_or("<unset>");
      if (value != short_value && value != long_value) ++bad;
    }
  }
  stop = true;
  writer.join();
  EXPECT_EQ(bad, 0) << "bad reads among " << reads;
}

TEST(FileExists, FolderOfTheLibrarysNameIsNotAFile) {
  const fs::path dir = testsupport::UniqueTempPath("vantrel-fe-");
  fs::create_directories(dir / "Strova.dll");
  EXPECT_FALSE(platform::FileExists(Utf8Of(dir / "Strova.dll")));
  EXPECT_FALSE(platform::FileExists(Utf8Of(dir / "missing")));
  fs::remove(dir / "Strova.dll");
  std::ofstream(dir / "Strova.dll").close();
  EXPECT_TRUE(platform::FileExists(Utf8Of(dir / "Strova.dll")));
  fs::remove_all(dir);
}

TEST(Library, LoadsResolvesAndRejectsMissingNames) {
  platform::LibraryHandle lib = platform::LoadSharedLibrary(STROVA_LIBRARY_PATH);
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(platform::ResolveSymbol(lib, "strova_init"), nullptr);
  EXPECT_EQ(platform::ResolveSymbol(lib, "strova_nothing"), nullptr);
  std::string path;
  ASSERT_EQ(platform::ModulePathOf(platform::ResolveSymbol(lib, "strova_init"), path), platform::ModulePathStatus::Ok);
  EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(STROVA_LIBRARY_PATH));
  platform::UnloadLibrary(lib);
  EXPECT_EQ(platform::LoadSharedLibrary("/nonexistent/libstrova.so"), nullptr);
}

// Paths cross the platform layer as UTF-8: a library in a folder whose name
// is not ASCII loads, and its module path reads back the same.
TEST(Library, LoadsFromAFolderWithANonAsciiName) {
  const fs::path dir = testsupport::UniqueTempPath("vantrel-") / fs::path(u8"Kamera Übertrager 映像");
  fs::create_directories(dir);
  const fs::path copy = dir / fs::path(STROVA_LIBRARY_PATH).filename();
  fs::copy_file(STROVA_LIBRARY_PATH, copy);
  const std::string utf8 = Utf8Of(copy);
  EXPECT_TRUE(platform::FileExists(utf8));
  platform::LibraryHandle lib = platform::LoadSharedLibrary(utf8);
  ASSERT_NE(lib, nullptr) << utf8;
  std::string path;
  ASSERT_EQ(platform::ModulePathOf(platform::ResolveSymbol(lib, "strova_init"), path), platform::ModulePathStatus::Ok);
  EXPECT_EQ(fs::canonical(PathOf(path)), fs::canonical(copy));
  platform::UnloadLibrary(lib);
  fs::remove_all(dir.parent_path());
}

TEST(FloatingPoint, MaskFieldSetOtherBitsKeptAndInherited) {
  constexpr unsigned kMaskField = 63u << 7;
  // Start from a state with every exception unmasked and rounding changed.
  _mm_setcsr((_mm_getcsr() & ~kMaskField) | _MM_ROUND_TOWARD_ZERO);
  const unsigned before = platform::ReadFloatingPointControl();
  platform::MaskFloatingPointExceptions();
  const unsigned after = platform::ReadFloatingPointControl();
  EXPECT_EQ(after & kMaskField, kMaskField);
  EXPECT_EQ(after & ~kMaskField, before & ~kMaskField);
  unsigned in_thread = 0;
  std::thread([&] { in_thread = platform::ReadFloatingPointControl(); }).join();
  EXPECT_EQ(in_thread & kMaskField, kMaskField);
  volatile double zero = 0.0;
  EXPECT_TRUE(std::isinf(1.0 / zero));  // masked: the IEEE result, no trap
  _mm_setcsr(0x1F80);
}

#ifndef _WIN32
// Threads are found by name on Linux; on Windows the wait returns at once.
// A detached thread named "test-linger" that ends after lifetime_ms.
void StartLingeringThread(int lifetime_ms) {
  std::thread([lifetime_ms] {
    pthread_setname_np(pthread_self(), "test-linger");
    std::this_thread::sleep_for(std::chrono::milliseconds(lifetime_ms));
  }).detach();
  while (platform::WaitUntilNoThreadNamed("test-linger", 0)) std::this_thread::yield();
}

TEST(WaitUntilNoThreadNamed, ReturnsOnceTheThreadHasEnded) {
  StartLingeringThread(50);
  EXPECT_TRUE(platform::WaitUntilNoThreadNamed("test-linger", 5000));
  EXPECT_TRUE(platform::WaitUntilNoThreadNamed("test-linger", 0));
}

TEST(WaitUntilNoThreadNamed, GivesUpAtTheLimitWhileTheThreadRuns) {
  StartLingeringThread(500);
  EXPECT_FALSE(platform::WaitUntilNoThreadNamed("test-linger", 20));
  EXPECT_TRUE(platform::WaitUntilNoThreadNamed("test-linger", 5000));
}

#endif

TEST(WaitUntilNoThreadNamed, NoSuchThreadReturnsAtOnce) {
  EXPECT_TRUE(platform::WaitUntilNoThreadNamed("no-such-thread", 0));
}

}  // namespace
