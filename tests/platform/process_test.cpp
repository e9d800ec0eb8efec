// Process services: program folder, environment, file test, MXCSR, waiting
// out a named thread.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <xmmintrin.h>

namespace {

TEST(ProgramFolder, IsTheExecutablesFolderWithTrailingSeparator) {
  const std::string folder = platform::ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(platform::FileExists(folder + "platform_process_test"));
}

TEST(FolderOf, CutsAfterTheLastSeparator) {
  EXPECT_EQ(platform::FolderOf("/opt/app/libstrova.so"), "/opt/app/");
  EXPECT_EQ(platform::FolderOf("/libstrova.so"), "/");
  EXPECT_EQ(platform::FolderOf("libstrova.so"), "");
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
    setenv("PATH", c.old_value.c_str(), 1);
  else
    unsetenv("PATH");
  platform::PrepareRuntimeEnvironment("/opt/vantrel/");
  const std::string expected = c.old_value.empty() ? "/opt/vantrel/gst" : "/opt/vantrel/gst:" + c.old_value;
  EXPECT_EQ(platform::GetEnv("PATH").value_or("<unset>"), expected);
  EXPECT_EQ(platform::GetEnv("GST_PLUGIN_PATH").value_or(""), "/opt/vantrel/gst/lib");
  EXPECT_EQ(platform::GetEnv("GST_PLUGIN_SYSTEM_PATH").value_or(""), "/opt/vantrel/gst/lib");
}

INSTANTIATE_TEST_SUITE_P(Paths, RuntimeEnvironment,
                         ::testing::Values(PathCase{"Unset", false, ""}, PathCase{"Empty", true, ""},
                                           PathCase{"Short", true, "/usr/bin:/bin"},
                                           PathCase{"Long", true, "/x" + std::string(6000, 'p') + ":/bin"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetEnv, ReadsUnsetEmptyAndLongValuesInFull) {
  unsetenv("VANTREL_TEST_VALUE");
  EXPECT_FALSE(platform::GetEnv("VANTREL_TEST_VALUE").has_value());
  ASSERT_TRUE(platform::SetEnv("VANTREL_TEST_VALUE", ""));
  EXPECT_EQ(platform::GetEnv("VANTREL_TEST_VALUE"), std::optional<std::string>(""));
  const std::string long_value(10000, 'v');
  ASSERT_TRUE(platform::SetEnv("VANTREL_TEST_VALUE", long_value));
  EXPECT_EQ(platform::GetEnv("VANTREL_TEST_VALUE"), long_value);
}

TEST(FileExists, FolderOfTheLibrarysNameIsNotAFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("vantrel-fe-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "libstrova.so");
  EXPECT_FALSE(platform::FileExists((dir / "libstrova.so").string()));
  EXPECT_FALSE(platform::FileExists((dir / "missing").string()));
  std::filesystem::remove(dir / "libstrova.so");
  { FILE* f = fopen((dir / "libstrova.so").c_str(), "w"); fclose(f); }
  EXPECT_TRUE(platform::FileExists((dir / "libstrova.so").string()));
  std::filesystem::remove_all(dir);
}

TEST(Library, LoadsResolvesAndRejectsMissingNames) {
  platform::LibraryHandle lib = platform::LoadLibrary(STROVA_LIBRARY_PATH);
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(platform::ResolveSymbol(lib, "strova_init"), nullptr);
  EXPECT_EQ(platform::ResolveSymbol(lib, "strova_nothing"), nullptr);
  std::string path;
  ASSERT_EQ(platform::ModulePathOf(platform::ResolveSymbol(lib, "strova_init"), path),
            platform::ModulePathStatus::Ok);
  EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(STROVA_LIBRARY_PATH));
  platform::UnloadLibrary(lib);
  EXPECT_EQ(platform::LoadLibrary("/nonexistent/libstrova.so"), nullptr);
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

TEST(WaitUntilNoThreadNamed, NoSuchThreadReturnsAtOnce) {
  EXPECT_TRUE(platform::WaitUntilNoThreadNamed("no-such-thread", 0));
}

}  // namespace
