// The shared-memory frame queue "vantrelVirtualCamVideo" as the output
// pipeline writes it: the record, create and close around the writer core
// (frame_queue_writer.h), and OnNewSample, which reads each sample's caps and
// buffer and hands the planes to the core.
// Create and Close run on the caller's thread inside strova_startoutput and
// strova_endoutput; OnNewSample runs on the streaming thread of the output
// pipeline's app queue and touches nothing but the open queue.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <cstdint>
#include <optional>

#include "engine/frame_queue_writer.h"

// The output pipeline's queue: the writer core and the caps of the last
// sample (one reference) with what they describe, so that each frame does not
// parse them again.
struct FrameQueue : FrameQueueWriter {
  GstCaps* caps;
  GstVideoInfo video_info;
  bool video_info_usable;  // NV12 raw video
};

// Opens a new region sized for width x height NV12 frames; nullptr when a
// region of that name is held by another writer, the size is refused, or the
// system cannot hold it or fails, and then one line on standard error says
// why. Tests may give another region name.
FrameQueue* FrameQueueCreate(int32_t width, int32_t height, const char* region_name = kFrameQueueName);

// Marks the region closed (state 3), unmaps it and frees the record; the
// caller then empties g_slots.frame_queue. Does nothing for nullptr. Called
// only once no streaming thread can run OnNewSample any more.
void FrameQueueClose(FrameQueue* queue);

// The appsink's "new-sample" handler: copies the frame into the next slot of
// g_slots.frame_queue (or drops it when there is none). Always GST_FLOW_OK.
GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer user_data);

// The planes of a mapped buffer of `size` bytes laid out as `info` says;
// nullopt unless the format is NV12 and every row lies inside the buffer.
std::optional<FramePlanes> PlanesInBuffer(const GstVideoInfo& info, const uint8_t* data, size_t size);
