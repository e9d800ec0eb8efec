// What a test needs from its process's surroundings on POSIX and on Windows:
// setting and removing environment variables (as seen both by the system,
// GetEnvironmentVariableW on Windows, and by the C runtime's getenv), fresh
// temporary paths, and whether Wine stands in for Windows. Used on the
// test's own thread.
#pragma once

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

inline void SetTestEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());  // (an empty value removes the variable)
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetTestEnv(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");
#else
  unsetenv(name.c_str());
#endif
}

// A fresh path in the system's folder for temporary files: `prefix` + a
// number unique to this process and call.
inline std::filesystem::path UniqueTempPath(const std::string& prefix) {
  static int counter = 0;
#ifdef _WIN32
  const unsigned long process = _getpid();
#else
  const unsigned long process = static_cast<unsigned long>(getpid());
#endif
  return std::filesystem::temp_directory_path() / (prefix + std::to_string(process) + "-" + std::to_string(++counter));
}

// True when a Windows build runs under Wine (ntdll exports wine_get_version);
// cases whose Windows behaviour Wine does not reproduce skip there.
inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace testsupport
