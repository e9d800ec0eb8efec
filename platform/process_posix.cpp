// POSIX implementation of platform/process.h (Linux: /proc, dlopen, dladdr).
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/process.h"

namespace platform {

std::string FolderOf(const std::string& path) {
  const auto cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string ProgramFolder() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "./";
    if (static_cast<size_t>(n) < buffer.size()) return FolderOf(std::string(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

char PathListSeparator() { return ':'; }
char PathSeparator() { return '/'; }

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

bool SetEnv(const std::string& name, const std::string& value) { return setenv(name.c_str(), value.c_str(), 1) == 0; }

std::string PrependPathEntry(const std::string& entry, const std::string& old) {
  // An empty entry in a POSIX PATH means the current folder, so an empty old
  // value adds no separator.
  return old.empty() ? entry : entry + PathListSeparator() + old;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

LibraryHandle LoadSharedLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* ResolveSymbol(LibraryHandle library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void UnloadLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

ModulePathStatus ModulePathOf(const void* address, std::string& path) {
  Dl_info info{};
  if (dladdr(address, &info) == 0) return ModulePathStatus::ModuleNotFound;
  if (!info.dli_fname || !*info.dli_fname) return ModulePathStatus::PathUnreadable;
  path = info.dli_fname;
  if (path.front() != '/') {
    // A library opened by a relative name: make its path absolute.
    char* absolute = realpath(info.dli_fname, nullptr);
    if (absolute) {
      path = absolute;
      std::free(absolute);
    }
  }
  return ModulePathStatus::Ok;
}

void MaskFloatingPointExceptions() {
  _mm_setcsr(_mm_getcsr() | _MM_MASK_MASK);  // bits 7..12, the value 63 in the mask field
}

unsigned ReadFloatingPointControl() { return _mm_getcsr(); }

namespace {

bool ThreadNamed(const std::string& name) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return false;
  bool found = false;
  while (const dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + task->d_name + "/comm");
    std::string thread_name;
    if (std::getline(comm, thread_name) && thread_name == name) {
      found = true;
      break;
    }
  }
  closedir(tasks);
  return found;
}

}  // namespace

bool WaitUntilNoThreadNamed(const std::string& name, int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (ThreadNamed(name)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace platform
