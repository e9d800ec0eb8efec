// POSIX named shared memory (shm_open): exclusive creation, a lock (flock)
// that the creator holds on the region for its lifetime, memory reserved at
// creation, and the replacement of a region whose creator has gone. No state
// of its own.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/shared_memory.h"

namespace platform {
namespace {

std::string PosixName(const char* name) { return std::string("/") + name; }

int LockRegion(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

// Takes the region's lock when nobody holds it for long: a reader asking
// whether the creator lives holds it shared for a moment only, the creator
// for its lifetime.
bool TakeFreeLock(int fd) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt) usleep(1000);
    if (LockRegion(fd, LOCK_EX | LOCK_NB) == 0) return true;
  }
  return false;
}

// True while `path` still names the region open as `fd`.
bool NamesThisRegion(const std::string& path, int fd) {
  const int named = shm_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (named < 0) return false;
  struct stat ours {
  }, theirs{};
  const bool same = fstat(fd, &ours) == 0 && fstat(named, &theirs) == 0 && ours.st_dev == theirs.st_dev &&
                    ours.st_ino == theirs.st_ino;
  close(named);
  return same;
}

enum class Probe { Live, Removed, Gone };

// Looks at an existing region: one whose lock is held belongs to a live
// creator. A free lock means its creator has gone, whatever the region holds
// (a creator killed before it wrote its header leaves an empty one): its name
// is removed while we hold the lock, so that two processes never both remove
// and re-create it.
Probe ProbeExisting(const std::string& path) {
  const int fd = shm_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return errno == ENOENT ? Probe::Gone : Probe::Live;
  Probe result = Probe::Live;
  if (TakeFreeLock(fd) && NamesThisRegion(path, fd)) {
    shm_unlink(path.c_str());
    result = Probe::Removed;
  }
  close(fd);
  return result;
}

// Reserves the region's memory now, so that a full /dev/shm refuses the
// region here rather than killing the writer with SIGBUS at its first frame.
RegionCreate Reserve(int fd, uint32_t size) {
  int error;
  do {
    error = posix_fallocate(fd, 0, size);
  } while (error == EINTR);
  if (error == 0) return RegionCreate::Created;
  return error == ENOSPC || error == ENOMEM || error == EFBIG ? RegionCreate::NoMemory : RegionCreate::Failed;
}

}  // namespace

RegionCreate CreateSharedRegion(const char* name, uint32_t size, SharedRegion& region) {
  const std::string path = PosixName(name);
  // A few rounds at most: after removing a dead creator's region, or after a
  // prober took our new region for dead before we held its lock.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno != EEXIST) return RegionCreate::Failed;
      if (ProbeExisting(path) == Probe::Live) return RegionCreate::Exists;
      continue;
    }
    // Until it holds the lock, the region looks dead to a prober, which may
    // remove its name: only a region that still bears the name is ours.
    if (LockRegion(fd, LOCK_EX) != 0 || !NamesThisRegion(path, fd)) {
      close(fd);
      continue;
    }
    RegionCreate result = Reserve(fd, size);
    void* view = MAP_FAILED;
    if (result == RegionCreate::Created) {
      view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (view == MAP_FAILED) result = RegionCreate::Failed;
    }
    if (result != RegionCreate::Created) {
      shm_unlink(path.c_str());  // still ours: we hold its lock
      close(fd);
      return result;
    }
    region = SharedRegion{view, size, fd, true, name};
    return RegionCreate::Created;
  }
  return RegionCreate::Exists;
}

bool OpenSharedRegion(const char* name, SharedRegion& region) {
  const int fd = shm_open(PosixName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat st {};
  void* view = MAP_FAILED;
  if (fstat(fd, &st) == 0 && st.st_size > 0) {
    view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  }
  if (view == MAP_FAILED) {
    close(fd);
    return false;
  }
  region = SharedRegion{view, static_cast<size_t>(st.st_size), fd, false, name};
  return true;
}

bool RegionCreatorAlive(const SharedRegion& region) {
  if (region.handle < 0) return false;
  // Our own lock: locking the creator's descriptor again would convert it.
  if (region.created) return true;
  const int fd = static_cast<int>(region.handle);
  // Held (or, should flock fail otherwise, taken for held).
  if (LockRegion(fd, LOCK_SH | LOCK_NB) != 0) return true;
  LockRegion(fd, LOCK_UN);
  return false;
}

bool SharedRegionIntact(const SharedRegion& region) {
  struct stat st {};
  return region.handle >= 0 && fstat(static_cast<int>(region.handle), &st) == 0 &&
         static_cast<uint64_t>(st.st_size) >= region.size;
}

void CloseSharedRegion(SharedRegion& region) {
  if (region.view) munmap(region.view, region.size);
  if (region.handle >= 0) {
    const int fd = static_cast<int>(region.handle);
    // The name goes before the lock is released, and only while it is ours.
    const std::string path = PosixName(region.name.c_str());
    if (region.created && NamesThisRegion(path, fd)) shm_unlink(path.c_str());
    close(fd);
  }
  region = SharedRegion{};
}

}  // namespace platform
