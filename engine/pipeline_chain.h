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
#include "engine/pipeline_conventions.h"

// One row of a chain's description. A row whose in_chain is false is left
// out: an element only some shapes of the chain have. caps_to_next filters
// the link to the next element that is in the chain. A row that is not
// required is left out as well when its element cannot be made.
struct ChainElement {
  GstElement** slot;
  const char* factory;
  const char* name;
  GstCaps* caps_to_next = nullptr;  // nullptr: a plain link; the chain owns it
  bool in_chain = true;
  bool required = true;
};

class PipelineChain {
 public:
  static constexpr std::size_t kMaxElements = 8;

  // Takes over the rows' caps.
  explicit PipelineChain(std::initializer_list<ChainElement> rows);
  ~PipelineChain();  // releases the caps no link has used
  PipelineChain(const PipelineChain&) = delete;
  PipelineChain& operator=(const PipelineChain&) = delete;

  // Start convention up to the elements being in the pipeline: Make, then Add.
  bool Build(const char* pipeline_name, PipelineKind kind);

  // Makes the pipeline and then the elements, source first, or from the row
  // of `first_made` on to the sink and then from the source. When a required
  // one is missing, prints the message, releases all that was made, empties
  // the slots and returns false.
  bool Make(const char* pipeline_name, PipelineKind kind, GstElement** first_made = nullptr);
  // Adds the bus watch and puts the elements into the pipeline, source first.
  void Add();

  // Links each element to the next, source first, through the row's caps
  // where it has them; a link's caps are released once it is made.
  void Link();

  // End convention for this chain: when a pipeline of this kind exists,
  // brings it to NULL, takes the chain apart and releases the pipeline.
  // Returns 1.
  EngineResult End(PipelineKind kind) const;

  // Takes the chain apart (DismantleChain); the pipeline is in NULL.
  void Dismantle() const;
  // Empties the slot of every row of the description, left out or not.
  void EmptySlots() const;

 private:
  bool IsWhole() const;
  void FailStart() const;
  void LeaveOutMissingOptional();

  std::array<ChainElement, kMaxElements> elements_{};
  std::size_t size_ = 0;
  std::array<GstElement**, kMaxElements> described_slots_{};
  std::size_t described_ = 0;
};

// Unlinks the chain pair by pair from the sink end back to the source;
// chain is in source-to-sink order.
void UnlinkChain(std::span<GstElement* const> chain);
// UnlinkChain, then takes the chain's elements out of the pipeline.
void DismantleChain(std::span<GstElement* const> chain);
