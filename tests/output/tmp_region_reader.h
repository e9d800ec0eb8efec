// TEMPORARY until the frame queue's reader lands.
#pragma once
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstring>
#include <vector>
namespace outputtest {
class RegionReader {
 public:
  bool Open() {
    int fd = shm_open("/vantrelVirtualCamVideo", O_RDONLY, 0);
    if (fd < 0) return false;
    struct stat st; fstat(fd, &st); size_ = st.st_size;
    view_ = static_cast<const uint8_t*>(mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0));
    close(fd);
    return view_ != MAP_FAILED;
  }
  ~RegionReader() { if (view_) munmap(const_cast<uint8_t*>(view_), size_); }
  uint32_t U32(size_t off) const { uint32_t v; memcpy(&v, view_ + off, 4); return v; }
  uint32_t write_index() const { return U32(0); }
  uint32_t read_index() const { return __atomic_load_n(reinterpret_cast<const uint32_t*>(view_ + 4), __ATOMIC_ACQUIRE); }
  uint32_t state() const { return U32(8); }
  uint32_t width() const { return U32(28); }
  uint32_t height() const { return U32(32); }
  std::vector<uint8_t> NewestFrame() const {
    uint32_t k = read_index() % 3; uint32_t off = U32(12 + 4 * k) + 32;
    size_t n = size_t(width()) * height() * 3 / 2;
    return std::vector<uint8_t>(view_ + off, view_ + off + n);
  }
 private:
  const uint8_t* view_ = nullptr; size_t size_ = 0;
};
}
