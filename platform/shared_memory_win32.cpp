// Windows named shared memory: a file mapping backed by the paging file. The
// region lives while any process holds a handle to it, so an existing name
// always belongs to a live writer or reader and is left alone. Beside it the
// creator holds a named event, which goes when the creator's handles go, so
// that a reader can tell a region whose creator has gone.
#include <windows.h>

#include <string>

#include "platform/shared_memory.h"

namespace platform {
namespace {

std::wstring WideName(const char* name) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::wstring CreatorMarkName(const char* name) { return WideName(name) + L".creator"; }

}  // namespace

RegionCreate CreateSharedRegion(const char* name, uint32_t size, SharedRegion& region) {
  const std::wstring wide = WideName(name);
  HANDLE existing = OpenFileMappingW(FILE_MAP_READ, FALSE, wide.c_str());
  if (existing) {
    CloseHandle(existing);
    return RegionCreate::Exists;
  }
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, wide.c_str());
  if (!mapping) {
    const DWORD error = GetLastError();
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_COMMITMENT_LIMIT ? RegionCreate::NoMemory
                                                                               : RegionCreate::Failed;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Made by another process between the two calls.
    CloseHandle(mapping);
    return RegionCreate::Exists;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  HANDLE mark = view ? CreateEventW(nullptr, TRUE, FALSE, CreatorMarkName(name).c_str()) : nullptr;
  if (!mark) {
    if (view) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return RegionCreate::Failed;
  }
  region = SharedRegion{view, size, reinterpret_cast<intptr_t>(mapping), true, name, reinterpret_cast<intptr_t>(mark)};
  return RegionCreate::Created;
}

bool OpenSharedRegion(const char* name, SharedRegion& region) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, WideName(name).c_str());
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  MEMORY_BASIC_INFORMATION info{};
  if (!view || VirtualQuery(view, &info, sizeof info) == 0) {
    if (view) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return false;
  }
  region = SharedRegion{view, info.RegionSize, reinterpret_cast<intptr_t>(mapping), false, name};
  return true;
}

bool RegionCreatorAlive(const SharedRegion& region) {
  if (!region.view) return false;
  if (region.created) return true;
  HANDLE mark = OpenEventW(SYNCHRONIZE, FALSE, CreatorMarkName(region.name.c_str()).c_str());
  if (!mark) return false;
  CloseHandle(mark);
  return true;
}

// A section keeps the size it was created with.
bool SharedRegionIntact(const SharedRegion& region) { return region.view != nullptr; }

void CloseSharedRegion(SharedRegion& region) {
  if (region.creator_mark) CloseHandle(reinterpret_cast<HANDLE>(region.creator_mark));
  if (region.view) UnmapViewOfFile(region.view);
  if (region.handle != -1 && region.handle != 0) CloseHandle(reinterpret_cast<HANDLE>(region.handle));
  region = SharedRegion{};
}

}  // namespace platform
