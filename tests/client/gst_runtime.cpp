// Stands in for a GStreamer runtime library of the "gst" folder: the engine
// library built from dependent_engine.cpp imports this function, so it loads
// only where the system's library search finds this library.
#include "engine/strova.h"

extern "C" STROVA_API int32_t gst_runtime_ready(void) { return 1; }
