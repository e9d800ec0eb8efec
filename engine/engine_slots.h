// The engine's one process-wide set of pipeline and element slots, and the
// start and end conventions that every pipeline family follows.
// Exports touch the slots on the caller's thread, one call at a time; the only
// slot a streaming thread reads is frame_queue (see frame_queue.h). The slots
// are plain zero-initialised data: the library runs no code at load.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <initializer_list>

#include "engine/strova.h"

struct FrameQueue;

// Which start export made the current pipeline; an end export tears down only
// a pipeline of its own kind.
enum class PipelineKind : uint8_t { None, Output, CameraPreview, CameraStream, StreamPreview };

struct EngineSlots {
  GstElement* pipeline;  // the one owning reference
  GstElement* source;
  GstElement* depay;
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
  bool released;        // strova_release has run: nothing starts again
  bool elements_kept;   // an element refused to stop and was never disposed
};

extern EngineSlots g_slots;

gboolean OnBusMessage(GstBus* bus, GstMessage* message, gpointer user_data);

namespace conventions {

// True when a start may go on: the engine is initialised and no pipeline of
// any kind exists (a running pipeline is left untouched).
bool MayStart();

// Makes the pipeline into the pipeline slot (holding a plain reference) and
// records its kind.
GstElement* MakePipeline(const char* name, PipelineKind kind);
GstElement* MakeElement(const char* factory, const char* name);

// A required element is missing: prints the message, releases the pipeline
// and the elements that are not in it yet, empties their slots, returns 0.
EngineResult FailStart(std::initializer_list<GstElement**> made);

// Watches the pipeline's bus with OnBusMessage (main loop as user data).
void AddBusWatch();

// Links a to b through caps and releases the caps.
void LinkFiltered(GstElement* a, GstElement* b, GstCaps* caps);

// Requests PLAYING and returns 1.
EngineResult Play();

// End convention, steps 1-4: false when there is nothing of this kind to tear
// down (after quitting the main loop where one exists); otherwise the pipeline
// has been brought to NULL, each element on its own where the pipeline's
// change failed, and an element still not in NULL is kept from disposal.
bool BeginEnd(PipelineKind kind);

// End convention, steps 6-9: prints "Deleting pipeline\n", releases the
// pipeline, removes the bus watch and empties the pipeline and decoder slots.
void FinishEnd();

}  // namespace conventions
