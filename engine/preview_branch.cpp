// Preview branch of the output pipeline: tee -> queue "queue-play" ->
// glimagesink "video-output", drawing into a caller's native window.
// Runs on the caller's thread; the branch is added and removed only while the
// pipeline is paused, so the frame queue's branch keeps its frames. A sink
// that cannot start is never left hanging on the tee. Touches
// only the play_queue and play_sink slots, and only an output pipeline.
#include <gst/video/videooverlay.h>

#include "engine/engine_slots.h"
#include "engine/output_pipeline.h"
#include "engine/pipeline_conventions.h"

namespace {

bool OutputRunning() { return g_slots.pipeline && g_slots.kind == PipelineKind::Output && g_slots.tee; }

void Release(GstElement*& element) {
  if (!element) return;
  gst_object_ref_sink(element);
  gst_object_unref(element);
  element = nullptr;
}

// Drops a branch that never went into the pipeline; returns 0 for playon.
EngineResult DropUnusedBranch() {
  Release(g_slots.play_queue);
  Release(g_slots.play_sink);
  return 0;
}

}  // namespace

bool PreviewAttached() { return g_slots.play_queue && g_slots.play_sink; }

void DetachPreviewBranch() {
  gst_element_unlink(g_slots.play_queue, g_slots.play_sink);
  gst_element_unlink(g_slots.tee, g_slots.play_queue);
  // Down before they are dropped, the sink first so that the queue's thread
  // is not left waiting on it.
  gst_element_set_state(g_slots.play_sink, GST_STATE_NULL);
  gst_element_set_state(g_slots.play_queue, GST_STATE_NULL);
  gst_bin_remove_many(GST_BIN(g_slots.pipeline), g_slots.play_queue, g_slots.play_sink, nullptr);
  g_slots.play_sink = g_slots.play_queue = nullptr;
}

extern "C" STROVA_API EngineResult strova_playon(uintptr_t window_handle) {
  if (!window_handle || !OutputRunning() || g_slots.play_queue || g_slots.play_sink) return 1;

  g_slots.play_queue = conventions::MakeElement("queue", "queue-play");
  g_slots.play_sink = conventions::MakeElement("glimagesink", "video-output");
  if (!g_slots.play_queue || !g_slots.play_sink) return DropUnusedBranch();

  // A sink that cannot draw here (no usable OpenGL, no display) fails on its
  // way to READY: found out before the running pipeline is touched. It goes
  // back to NULL either way: a GL sink added to a bin in READY deadlocks on
  // the bin's lock while it hands its GL context over.
  const bool sink_starts = gst_element_set_state(g_slots.play_sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
  gst_element_set_state(g_slots.play_sink, GST_STATE_NULL);
  if (!sink_starts) return DropUnusedBranch();

  gst_element_set_state(g_slots.pipeline, GST_STATE_PAUSED);
  gst_bin_add_many(GST_BIN(g_slots.pipeline), g_slots.play_queue, g_slots.play_sink, nullptr);
  gst_element_link(g_slots.play_queue, g_slots.play_sink);
  gst_element_link(g_slots.tee, g_slots.play_queue);
  gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(g_slots.play_sink), window_handle);
  if (gst_element_set_state(g_slots.pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) return 1;
  // The sink failed later on (the window, say): off again, so that the frame
  // queue's branch plays on without it.
  gst_element_set_state(g_slots.pipeline, GST_STATE_PAUSED);
  DetachPreviewBranch();
  conventions::Play();
  return 0;
}

extern "C" STROVA_API EngineResult strova_playoff(void) {
  if (!OutputRunning() || !PreviewAttached()) return 1;
  gst_element_set_state(g_slots.pipeline, GST_STATE_PAUSED);
  DetachPreviewBranch();
  return conventions::Play();
}
