// The shared-memory frame queue "vantrelVirtualCamVideo": its byte layout,
// the writer (create, OnNewSample, close) and the size arithmetic.
// Create and Close run on the caller's thread inside strova_startoutput and
// strova_endoutput; OnNewSample runs on the streaming thread of the output
// pipeline's app queue and touches nothing but the open queue.
#pragma once

#include <gst/app/gstappsink.h>

#include <cstdint>

struct FrameQueue;

// Opens a new region sized for width x height NV12 frames; nullptr when a
// region of that name exists already, the size is refused, or the system
// fails.
FrameQueue* FrameQueueCreate(int32_t width, int32_t height);

// Marks the region closed (state 3), unmaps it and frees the record.
void FrameQueueClose(FrameQueue* queue);

// The appsink's "new-sample" handler: copies the frame into the next slot of
// g_slots.frame_queue (or drops it when there is none). Always GST_FLOW_OK.
GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer user_data);
