// A pipeline chain described once and the steps derived from it
// (pipeline_chain.h). Caller's thread only.
#include "engine/pipeline_chain.h"

PipelineChain::PipelineChain(std::initializer_list<ChainElement> rows) {
  for (const ChainElement& row : rows) {
    g_assert(described_ < kMaxElements);
    described_slots_[described_++] = row.slot;
    if (!row.in_chain) {
      if (row.caps_to_next) gst_caps_unref(row.caps_to_next);
      continue;
    }
    g_assert(size_ < kMaxElements);
    elements_[size_++] = row;
  }
}

PipelineChain::~PipelineChain() {
  for (std::size_t i = 0; i < size_; ++i) {
    if (elements_[i].caps_to_next) gst_caps_unref(elements_[i].caps_to_next);
  }
}

bool PipelineChain::Build(const char* pipeline_name, PipelineKind kind) {
  if (!Make(pipeline_name, kind)) return false;
  Add();
  return true;
}

bool PipelineChain::Make(const char* pipeline_name, PipelineKind kind, GstElement** first_made) {
  conventions::MakePipeline(pipeline_name, kind);
  std::size_t first = 0;
  while (first < size_ && elements_[first].slot != first_made) ++first;
  if (first == size_) first = 0;
  for (std::size_t made = 0; made < size_; ++made) {
    const ChainElement& row = elements_[(first + made) % size_];
    *row.slot = conventions::MakeElement(row.factory, row.name);
  }
  LeaveOutMissingOptional();
  if (!IsWhole()) {
    FailStart();
    return false;
  }
  return true;
}

void PipelineChain::LeaveOutMissingOptional() {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < size_; ++i) {
    if (!elements_[i].required && !*elements_[i].slot) {
      // Its caps now filter nothing: the link before it goes plain.
      if (elements_[i].caps_to_next) gst_caps_unref(elements_[i].caps_to_next);
      continue;
    }
    elements_[kept++] = elements_[i];
  }
  size_ = kept;
}

void PipelineChain::Add() {
  conventions::AddBusWatch();
  for (std::size_t i = 0; i < size_; ++i) gst_bin_add(GST_BIN(g_slots.pipeline), *elements_[i].slot);
}

bool PipelineChain::IsWhole() const {
  if (!g_slots.pipeline) return false;
  for (std::size_t i = 0; i < size_; ++i) {
    if (!*elements_[i].slot) return false;
  }
  return true;
}

void PipelineChain::FailStart() const {
  // The convention takes its slots as a braced list: the chain's, source
  // first, then an empty one standing in for each row the chain has not.
  static_assert(kMaxElements == 8);
  GstElement* none = nullptr;
  std::array<GstElement**, kMaxElements> slots;
  slots.fill(&none);
  for (std::size_t i = 0; i < size_; ++i) slots[i] = elements_[i].slot;
  conventions::FailStart({slots[0], slots[1], slots[2], slots[3], slots[4], slots[5], slots[6], slots[7]});
}

void PipelineChain::Link() {
  for (std::size_t i = 0; i + 1 < size_; ++i) {
    GstElement* from = *elements_[i].slot;
    GstElement* to = *elements_[i + 1].slot;
    if (GstCaps* caps = elements_[i].caps_to_next) {
      elements_[i].caps_to_next = nullptr;
      conventions::LinkFiltered(from, to, caps);
    } else {
      gst_element_link(from, to);
    }
  }
}

EngineResult PipelineChain::End(PipelineKind kind) const {
  if (!conventions::BeginEnd(kind)) return 1;
  Dismantle();
  conventions::FinishEnd();
  return 1;
}

void PipelineChain::Dismantle() const {
  std::array<GstElement*, kMaxElements> chain;
  for (std::size_t i = 0; i < size_; ++i) chain[i] = *elements_[i].slot;
  DismantleChain(std::span(chain.data(), size_));
}

void PipelineChain::EmptySlots() const {
  for (std::size_t i = 0; i < described_; ++i) *described_slots_[i] = nullptr;
}

void UnlinkChain(std::span<GstElement* const> chain) {
  for (std::size_t i = chain.size(); i > 1; --i) gst_element_unlink(chain[i - 2], chain[i - 1]);
}

void DismantleChain(std::span<GstElement* const> chain) {
  UnlinkChain(chain);
  for (GstElement* element : chain) gst_bin_remove(GST_BIN(g_slots.pipeline), element);
}
