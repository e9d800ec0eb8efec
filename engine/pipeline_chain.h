// A pipeline chain described once, in source-to-sink order: for each element
// the slot it lives in, its factory, its object name and the caps of its link
// to the next element. Making, the missing-element check, adding, linking and
// taking apart all follow that one description, within the engine's start
// and end conventions. Caller's thread only; touches the pipeline slot and
// the slots the description names.
#pragma once

#include <gst/gst.h>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>

#include "engine/engine_slots.h"

// One row of a chain's description. A row whose in_chain is false is left
// out: an element only some shapes of the chain have. caps_to_next filters
// the link to the next element that is in the chain.
struct ChainElement {
  GstElement** slot;
  const char* factory;
  const char* name;
  GstCaps* caps_to_next = nullptr;  // nullptr: a plain link; the chain owns it
  bool in_chain = true;
};

class PipelineChain {
 public:
  static constexpr std::size_t kMaxElements = 8;

  // Takes over the rows' caps.
  explicit PipelineChain(std::initializer_list<ChainElement> rows);
  ~PipelineChain();  // releases the caps no link has used
  PipelineChain(const PipelineChain&) = delete;
  PipelineChain& operator=(const PipelineChain&) = delete;

  // Start convention up to the elements being in the pipeline: makes the
  // pipeline and then the elements, source first. When one is missing, prints
  // the message, releases all that was made, empties the slots and returns
  // false. Otherwise adds the bus watch, puts the elements into the pipeline,
  // source first, and returns true.
  bool Build(const char* pipeline_name, PipelineKind kind);

  // Links each element to the next, source first, through the row's caps
  // where it has them; a link's caps are released once it is made.
  void Link();

  // End convention for this chain: when a pipeline of this kind exists,
  // brings it to NULL, takes the chain apart and releases the pipeline.
  // Returns 1.
  EngineResult End(PipelineKind kind) const;

 private:
  bool IsWhole() const;
  void FailStart() const;

  std::array<ChainElement, kMaxElements> elements_{};
  std::size_t size_ = 0;
};

// Unlinks the chain pair by pair from the sink end back to the source and
// takes its elements out of the pipeline; chain is in source-to-sink order.
void DismantleChain(std::span<GstElement* const> chain);
