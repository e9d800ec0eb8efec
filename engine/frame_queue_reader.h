// A reader of the frame queue, for tests and tools: opens a region by name
// read-only, reads its header and copies the newest complete frame. Not part
// of the engine library. One thread uses a reader at a time; it never writes
// the region.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/frame_queue_layout.h"
#include "platform/shared_memory.h"

class FrameQueueReader {
 public:
  FrameQueueReader() = default;
  FrameQueueReader(const FrameQueueReader&) = delete;
  FrameQueueReader& operator=(const FrameQueueReader&) = delete;
  ~FrameQueueReader() { Close(); }

  // False when no region of that name exists or its header is not complete
  // and consistent with its size.
  bool Open(const char* region_name = kFrameQueueName);
  void Close();
  bool IsOpen() const { return header_ != nullptr; }

  // False once the region's writer has closed it or died (its lock is free),
  // whatever the header says: its counters will not move again.
  bool WriterAlive() const;

  // False once the region has shrunk under the mapping; nothing may be read
  // from it then (Close it).
  bool RegionIntact() const { return platform::SharedRegionIntact(region_); }

  // The header as it is now.
  FrameQueueHeader Header() const;
  const FrameQueueLayout& Layout() const { return layout_; }
  size_t RegionBytes() const { return region_.size; }

  struct Frame {
    uint32_t index = 0;  // the read_index it was complete at
    uint64_t timestamp = 0;
    std::vector<uint8_t> pixels;  // Y plane, then the UV plane
  };
  enum class Copy {
    Copied,       // `frame` holds the newest complete frame
    NoFrame,      // none has been written
    Overwritten,  // the writer came round to the slot during the copy
  };
  // Copies the slot of read_index, then checks that the writer has not begun
  // writing that slot again meanwhile.
  Copy CopyNewestFrame(Frame& frame) const;

 private:
  platform::SharedRegion region_;
  const FrameQueueHeader* header_ = nullptr;
  FrameQueueLayout layout_{};
};
