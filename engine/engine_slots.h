// The engine's one process-wide set of pipeline and element slots (the start
// and end conventions every pipeline family follows: pipeline_conventions.h).
// Exports touch the slots on the caller's thread, one call at a time; the only
// slot a streaming thread reads is frame_queue (see frame_queue.h). The slots
// are plain zero-initialised data: the library runs no code at load.
#pragma once

#include <gst/gst.h>

#include <cstdint>

struct FrameQueue;

// Which start export made the current pipeline; an end export tears down only
// a pipeline of its own kind.
enum class PipelineKind : uint8_t { None, Output, CameraPreview, CameraStream, StreamPreview };

struct EngineSlots {
  GstElement* pipeline;  // the one owning reference
  GstElement* source;
  GstElement* depay;
  GstElement* jitter_buffer;  // network chain of the output pipeline, in front of depay
  GstElement* decoder;
  GstElement* converter;
  GstElement* encoder;
  GstElement* payloader;
  GstElement* net_sink;
  GstElement* tee;
  GstElement* app_queue;
  GstElement* sink;
  GstElement* play_queue;
  GstElement* play_sink;
  GstBus* bus;
  guint bus_watch_id;
  GMainLoop* main_loop;
  FrameQueue* frame_queue;
  bool rtp_input;
  PipelineKind kind;
  bool released;       // strova_release has run: nothing starts again
  bool elements_kept;  // an element refused to stop and was never disposed
};

extern EngineSlots g_slots;
