// Named shared-memory regions: one writer creates a region exclusively and
// holds it for its lifetime; readers in other processes open it by name.
// Any thread may call these; a SharedRegion is used by one thread at a time.
// The POSIX side names the region "/" + name (a file in /dev/shm); since such
// a name outlives its processes, the creator holds a lock on the region while
// it lives and removes the name when it closes, and a region whose creator has
// died is recognised by the free lock and replaced. The Win32 side has the
// creator hold a named event beside the region ("<name>.creator") for its
// lifetime; the system drops it when the creator's process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct SharedRegion {
  void* view = nullptr;  // the whole region, mapped
  size_t size = 0;       // bytes mapped
  intptr_t handle = -1;  // file descriptor or mapping handle
  bool created = false;  // this process made the region
  std::string name;
  intptr_t creator_mark = 0;  // Win32, creator only: the named event it holds
};

enum class RegionCreate {
  Created,   // new, zero-filled, its memory reserved, mapped read/write
  Exists,    // a region of this name is held by someone else; it was not touched
  NoMemory,  // the system cannot hold a region of that size
  Failed,    // the system refused otherwise
};

// Creates the region `name` of `size` bytes. On POSIX, a region of that name
// whose creator has gone (its lock is free) is removed and made anew,
// whatever it holds.
RegionCreate CreateSharedRegion(const char* name, uint32_t size, SharedRegion& region);

// Opens an existing region read-only, mapping all of it.
bool OpenSharedRegion(const char* name, SharedRegion& region);

// True while the process that created the region still holds it: on POSIX
// its lock is held (probed without waiting, and let go at once), on Win32 its
// named event exists. False once the creator has closed the region or died,
// whatever the region's bytes say.
bool RegionCreatorAlive(const SharedRegion& region);

// False once the region's memory has shrunk below what is mapped (POSIX: a
// process with write access truncated it), where touching the mapping's end
// would raise SIGBUS. A reader asks before it reads.
bool SharedRegionIntact(const SharedRegion& region);

// Unmaps and closes the region; the creator also gives up the name (POSIX)
// before releasing its lock. Leaves `region` empty. Safe on an empty region.
void CloseSharedRegion(SharedRegion& region);

}  // namespace platform
