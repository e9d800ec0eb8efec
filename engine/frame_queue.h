// The shared-memory frame queue "vantrelVirtualCamVideo": the writer's record,
// create, OnNewSample, close, and the frame copy into a slot.
// Create and Close run on the caller's thread inside strova_startoutput and
// strova_endoutput; OnNewSample runs on the streaming thread of the output
// pipeline's app queue and touches nothing but the open queue.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <cstdint>
#include <optional>

#include "engine/frame_queue_layout.h"
#include "platform/shared_memory.h"

struct FrameQueue {
  platform::SharedRegion mapping;
  FrameQueueHeader* header;  // the start of the mapped view
  FrameSlotHeader* slot_header[kFrameQueueSlots];
  uint8_t* slot_data[kFrameQueueSlots];
  bool is_writer;
  FrameQueueLayout layout;
  // The caps of the last sample (one reference) and what they describe, so
  // that each frame does not parse them again.
  GstCaps* caps;
  GstVideoInfo video_info;
  bool video_info_usable;  // NV12 raw video
};

// Opens a new region sized for width x height NV12 frames; nullptr when a
// region of that name exists already, the size is refused, or the system
// fails. Tests may give another region name.
FrameQueue* FrameQueueCreate(int32_t width, int32_t height,
                             const char* region_name = kFrameQueueName);

// Marks the region closed (state 3), unmaps it and frees the record; the
// caller then empties g_slots.frame_queue. Does nothing for nullptr. Called
// only once no streaming thread can run OnNewSample any more.
void FrameQueueClose(FrameQueue* queue);

// The appsink's "new-sample" handler: copies the frame into the next slot of
// g_slots.frame_queue (or drops it when there is none). Always GST_FLOW_OK.
GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer user_data);

// One NV12 frame as it lies in a mapped buffer, with its own size.
struct FramePlanes {
  const uint8_t* y;
  const uint8_t* uv;
  uint32_t y_stride;
  uint32_t uv_stride;
  uint32_t width;
  uint32_t height;
};

// The planes of a mapped buffer of `size` bytes laid out as `info` says;
// nullopt unless the format is NV12 and every row lies inside the buffer.
std::optional<FramePlanes> PlanesInBuffer(const GstVideoInfo& info, const uint8_t* data,
                                          size_t size);

// Fills one frame area of `layout`: two block copies when the frame has the
// area's size and its strides equal the width; otherwise row by row, cropped
// to the area, with black (Y 16, UV 128) where the frame does not reach.
void CopyFrameToSlot(const FramePlanes& frame, const FrameQueueLayout& layout, uint8_t* area);

// Writes one frame into the next slot, storing write_index, the timestamp,
// the planes, read_index and state in that order.
void WriteFrame(FrameQueue* queue, const FramePlanes& frame, uint64_t timestamp);
