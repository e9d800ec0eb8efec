// Win32 implementation of platform/process.h (kernel32). Strings cross this
// interface as UTF-8 and are converted to wide text here.
#include <windows.h>
#include <xmmintrin.h>

#include <vector>

#include "platform/process.h"

namespace platform {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring ModuleFileName(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string ProgramFolder() { return FolderOf(Narrow(ModuleFileName(nullptr))); }

char PathListSeparator() { return ';'; }
char PathSeparator() { return '\\'; }

std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wname = Wide(name);
  // Another thread may change the variable between asking for its size and
  // reading it: a read that did not fit reports the size now needed and is
  // made again with that size.
  std::vector<wchar_t> buffer(1);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(wname.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < buffer.size()) return Narrow(std::wstring(buffer.data(), length));
    buffer.resize(length);  // the size needed, terminator included
  }
}

bool SetEnv(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str()) != 0;
}

std::string PrependPathEntry(const std::string& entry, const std::string& old) {
  return old.empty() ? entry : entry + PathListSeparator() + old;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

LibraryHandle LoadSharedLibrary(const std::string& path) { return LoadLibraryW(Wide(path).c_str()); }

void* ResolveSymbol(LibraryHandle library, const char* name) {
  return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void UnloadLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

ModulePathStatus ModulePathOf(const void* address, std::string& path) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return ModulePathStatus::ModuleNotFound;
  const std::wstring file = ModuleFileName(module);
  if (file.empty()) return ModulePathStatus::PathUnreadable;
  path = Narrow(file);
  return ModulePathStatus::Ok;
}

void MaskFloatingPointExceptions() { _mm_setcsr(_mm_getcsr() | _MM_MASK_MASK); }

unsigned ReadFloatingPointControl() { return _mm_getcsr(); }

bool WaitUntilNoThreadNamed(const std::string&, int) { return true; }

}  // namespace platform
