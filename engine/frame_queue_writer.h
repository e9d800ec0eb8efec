// The frame queue's writer core: creates the region "vantrelVirtualCamVideo"
// for one frame size, writes one NV12 frame given as plain planes into the
// next slot, and closes the region. Free of GStreamer and GLib, so that every
// producer of frames (the output pipeline's appsink, a camera of another
// platform) shares it. Create and close run on the owner's thread; frames are
// written by one thread at a time, with no allocation and no system call.
#pragma once

#include <cstdint>

#include "engine/frame_queue_layout.h"
#include "platform/shared_memory.h"

struct FrameQueueWriter {
  platform::SharedRegion mapping;
  FrameQueueHeader* header;  // the start of the mapped view
  FrameSlotHeader* slot_header[kFrameQueueSlots];
  uint8_t* slot_data[kFrameQueueSlots];
  bool is_writer;
  FrameQueueLayout layout;
};

// The largest frame a queue is made for: H.264's largest picture (level 6.2:
// 139264 macroblocks of 16 x 16, each side at most 8192). A device's reply
// cannot make us reserve more.
inline constexpr int64_t kMaxFrameSide = 8192;
inline constexpr int64_t kMaxFramePixels = int64_t{139264} * 16 * 16;
constexpr bool FrameSizeAllowed(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width <= kMaxFrameSide && height <= kMaxFrameSide &&
         width * height <= kMaxFramePixels;
}

enum class QueueCreateResult {
  Created,
  Exists,       // another writer holds a region of that name
  SizeRefused,  // negative, or beyond FrameSizeAllowed
  NoMemory,     // the system cannot hold the region (shared memory full)
  Failed,       // the system refused otherwise
};

// Makes a new region sized for width x height NV12 frames, its memory
// reserved, and writes its header; anything but Created leaves `writer` empty.
QueueCreateResult FrameQueueWriterCreate(FrameQueueWriter& writer, int32_t width, int32_t height,
                                         const char* region_name = kFrameQueueName);

// Why no queue was made, as one line for a user (no line feed).
const char* FrameQueueCreateText(QueueCreateResult result);

// Marks the region closed (state 3), unmaps it and empties `writer`. Does
// nothing for an empty writer.
void FrameQueueWriterClose(FrameQueueWriter& writer);

// One NV12 frame as it lies in memory, with its own size.
struct FramePlanes {
  const uint8_t* y;
  const uint8_t* uv;
  uint32_t y_stride;
  uint32_t uv_stride;
  uint32_t width;
  uint32_t height;
};

// Fills one frame area of `layout`: two block copies when the frame has the
// area's size and its strides equal the width; otherwise row by row, cropped
// to the area, with black (Y 16, UV 128) where the frame does not reach.
void CopyFrameToSlot(const FramePlanes& frame, const FrameQueueLayout& layout, uint8_t* area);

// Writes one frame into the next slot, storing write_index, the timestamp,
// the planes, read_index and state in that order.
void WriteFrame(FrameQueueWriter* queue, const FramePlanes& frame, uint64_t timestamp);
