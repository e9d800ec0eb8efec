// Output pipeline "kxclient" and its preview branch: the engine-internal
// steps and the small decisions that strova_startoutput makes from its
// arguments. Everything here runs on the caller's thread.
#pragma once

#include <cstdint>

// The network chain is built when no camera is named and a port is given.
bool UsesNetworkChain(const char* device_name, int32_t port);

// The camera's size caps apply only when width, height and frame rate are all
// above 0.
bool AppliesCameraCaps(int32_t width, int32_t height, int32_t framerate);

// True while the preview branch hangs on the tee.
bool PreviewAttached();

// Takes an attached preview branch off the tee and out of the pipeline,
// brings it down and empties its slots. The caller has paused or stopped the
// pipeline.
void DetachPreviewBranch();
