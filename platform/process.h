// Process and library services of the operating system: the program folder,
// the process environment, file tests, run-time loading of libraries, the
// SSE floating-point control register and waiting out a library's threads.
// Any thread may call these; none of them keeps state of its own.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The folder of the running executable, ending with the path separator.
std::string ProgramFolder();

// The folder part of a path, with the separator at its end; empty when the
// path holds no separator.
std::string FolderOf(const std::string& path);

// The separator between entries of PATH: ';' on Windows, ':' elsewhere.
char PathListSeparator();
// The separator between folder names: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// The whole value of an environment variable, however long; nullopt when unset.
std::optional<std::string> GetEnv(const std::string& name);
// Sets a variable of this process's environment; false when the system refused.
bool SetEnv(const std::string& name, const std::string& value);

// `entry` placed in front of the list `old`, as an entry of its own; `entry`
// alone when `old` is empty.
std::string PrependPathEntry(const std::string& entry, const std::string& old);

// Points PATH (runtime folder first), GST_PLUGIN_PATH and
// GST_PLUGIN_SYSTEM_PATH at the GStreamer runtime beside a program or library
// in `folder` (a folder ending with the separator): folder + "gst" and
// folder + "gst" + separator + "lib".
void PrepareRuntimeEnvironment(const std::string& folder);

// True when `path` names an existing file (links followed); a folder is not a file.
bool FileExists(const std::string& path);

// Names here and in the other platform headers stay clear of the macros of
// <windows.h> (LoadLibrary, GetEnvironmentVariable...), which would rename
// them in any file that includes it; cmake/check_windows_macros.cmake checks.
using LibraryHandle = void*;
LibraryHandle LoadSharedLibrary(const std::string& path);
void* ResolveSymbol(LibraryHandle library, const char* name);
void UnloadLibrary(LibraryHandle library);

// The file path of the loaded module (library or program) holding `address`.
enum class ModulePathStatus { Ok, ModuleNotFound, PathUnreadable };
ModulePathStatus ModulePathOf(const void* address, std::string& path);

// Sets the exception-mask field of MXCSR to all six exceptions (63), keeping
// its other bits. Threads started afterwards inherit the setting.
void MaskFloatingPointExceptions();
// The current MXCSR value, for checks.
unsigned ReadFloatingPointControl();

// Waits until no thread of this process carries the name `name` (as the
// thread set it), for at most `limit_ms`; true when none is left. For threads
// a library starts and never joins. Where the system gives no thread names
// (Windows), returns true at once.
bool WaitUntilNoThreadNamed(const std::string& name, int limit_ms);

}  // namespace platform
