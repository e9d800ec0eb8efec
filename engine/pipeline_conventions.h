// The start and end conventions every pipeline family follows: one pipeline
// at a time in the slots, the missing-element failure, the bus watch, and the
// robust teardown (an element that refuses NULL is kept, never disposed).
// Caller's thread only; OnBusMessage runs inside strova_wait.
#pragma once

#include <gst/gst.h>

#include <initializer_list>

#include "engine/engine_slots.h"
#include "engine/strova.h"

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
