// Preview branch of the output pipeline: tee -> queue "queue-play" ->
// glimagesink "video-output", drawing into a caller's native window.
// Runs on the caller's thread; the branch is added and removed only while the
// pipeline is paused, so the frame queue's branch keeps its frames. A sink
// that cannot start is never left hanging on the tee. Touches
// only the play_queue and play_sink slots, and only an output pipeline.
#include <gst/video/videooverlay.h>

#include <array>
#include <cstddef>

#include "engine/engine_slots.h"
#include "engine/output_pipeline.h"
#include "engine/pipeline_chain.h"
#include "engine/pipeline_conventions.h"

namespace {

// The branch, described once, from the tee's side to the sink.
const std::array<ChainElement, 2> kBranch{{
    {&g_slots.play_queue, "queue", "queue-play"},
    {&g_slots.play_sink, "glimagesink", "video-output"},
}};

GstElement* BranchSink() { return *kBranch.back().slot; }

std::size_t BranchElementsPresent() {
  std::size_t present = 0;
  for (const ChainElement& row : kBranch) present += *row.slot ? 1 : 0;
  return present;
}

bool OutputRunning() { return g_slots.pipeline && g_slots.kind == PipelineKind::Output && g_slots.tee; }

// Makes every element of the branch; false when one of them is missing.
bool MakeBranch() {
  bool whole = true;
  for (const ChainElement& row : kBranch) {
    *row.slot = conventions::MakeElement(row.factory, row.name);
    whole = whole && *row.slot;
  }
  return whole;
}

// Drops a branch that never went into the pipeline; returns 0 for playon.
EngineResult DropUnusedBranch() {
  for (const ChainElement& row : kBranch) {
    if (GstElement*& element = *row.slot) {
      gst_object_ref_sink(element);
      gst_object_unref(element);
      element = nullptr;
    }
  }
  return 0;
}

// Puts the branch into the paused pipeline and links it from the sink end
// back to the tee, so that no buffer enters a half-linked branch.
void AttachBranch() {
  for (const ChainElement& row : kBranch) gst_bin_add(GST_BIN(g_slots.pipeline), *row.slot);
  GstElement* to = nullptr;
  for (auto row = kBranch.rbegin(); row != kBranch.rend(); ++row) {
    if (to) gst_element_link(*row->slot, to);
    to = *row->slot;
  }
  gst_element_link(g_slots.tee, to);
}

}  // namespace

bool PreviewAttached() { return BranchElementsPresent() == kBranch.size(); }

void DetachPreviewBranch() {
  std::array<GstElement*, kBranch.size() + 1> from_tee{g_slots.tee};
  for (std::size_t i = 0; i < kBranch.size(); ++i) from_tee[i + 1] = *kBranch[i].slot;
  UnlinkChain(from_tee);
  // Down before they are dropped, the sink first so that the queue's thread
  // is not left waiting on it.
  for (auto row = kBranch.rbegin(); row != kBranch.rend(); ++row) gst_element_set_state(*row->slot, GST_STATE_NULL);
  for (const ChainElement& row : kBranch) {
    gst_bin_remove(GST_BIN(g_slots.pipeline), *row.slot);
    *row.slot = nullptr;
  }
}

extern "C" STROVA_API EngineResult strova_playon(uintptr_t window_handle) {
  if (!window_handle || !OutputRunning() || BranchElementsPresent() != 0) return 1;
  if (!MakeBranch()) return DropUnusedBranch();

  // A sink that cannot draw here (no usable OpenGL, no display) fails on its
  // way to READY: found out before the running pipeline is touched. It goes
  // back to NULL either way: a GL sink added to a bin in READY deadlocks on
  // the bin's lock while it hands its GL context over.
  const bool sink_starts = gst_element_set_state(BranchSink(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
  gst_element_set_state(BranchSink(), GST_STATE_NULL);
  if (!sink_starts) return DropUnusedBranch();

  gst_element_set_state(g_slots.pipeline, GST_STATE_PAUSED);
  AttachBranch();
  gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(BranchSink()), window_handle);
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
