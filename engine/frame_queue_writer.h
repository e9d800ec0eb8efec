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

// Makes a new region sized for width x height NV12 frames and writes its
// header; false (and `writer` left empty) when a region of that name exists
// already, the size is refused, or the system fails.
bool FrameQueueWriterCreate(FrameQueueWriter& writer, int32_t width, int32_t height,
                            const char* region_name = kFrameQueueName);

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
