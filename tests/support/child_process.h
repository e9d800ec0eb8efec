// Runs the test program itself again as a child process with one more
// environment variable, for tests that need a second process (a reader of
// shared memory, say); on Windows with CreateProcessW, on POSIX with fork and
// exec. The child finds the variable before main and does its part there.
// On POSIX also the argument vector for exec and spawn of other programs.
// Used on the test's own thread.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/test_env.h"

namespace testsupport {

#ifndef _WIN32
// `args` as exec and posix_spawn take them: pointers into the strings, which
// must outlive the result, and a null pointer last.
inline std::vector<char*> ExecArgv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}
#endif

// The child's exit code; -1 when it could not be started.
inline int RunSelfAsChild(const std::string& name, const std::string& value) {
  SetTestEnv(name, value);
#ifdef _WIN32
  wchar_t program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(program, length) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  int code = -1;
  if (length > 0 && length < MAX_PATH &&
      CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    DWORD exit_code = 0;
    WaitForSingleObject(process.hProcess, INFINITE);
    if (GetExitCodeProcess(process.hProcess, &exit_code)) code = static_cast<int>(exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
#else
  int code = -1;
  const pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", "child", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) code = WEXITSTATUS(status);
#endif
  UnsetTestEnv(name);
  return code;
}

}  // namespace testsupport
