// The helpers output_pipeline.cpp takes from the "kxpcbox" families, under the
// name and in the form it uses them until its chain is a PipelineChain.
// Caller's thread only.
#pragma once

#include <initializer_list>
#include <span>

#include "engine/pipeline_arguments.h"
#include "engine/pipeline_chain.h"

inline void DismantleChain(std::initializer_list<GstElement*> chain) {
  DismantleChain(std::span(chain.begin(), chain.size()));
}
