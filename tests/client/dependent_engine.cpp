// An engine library that, like the real one, imports a runtime library lying
// only in the "gst" sub-folder of the program folder; its six entry points
// do nothing but strova_init, which asks the runtime library.
#include "engine/strova.h"

extern "C" {
__declspec(dllimport) int32_t gst_runtime_ready(void);

STROVA_API EngineResult strova_init(uint8_t) { return gst_runtime_ready(); }
STROVA_API EngineResult strova_startoutput(int32_t, const char*, int32_t, const char*, int32_t, int32_t, int32_t,
                                           int32_t) {
  return 1;
}
STROVA_API EngineResult strova_playon(uintptr_t) { return 1; }
STROVA_API EngineResult strova_playoff(void) { return 1; }
STROVA_API EngineResult strova_endoutput(void) { return 1; }
STROVA_API EngineResult strova_release(void) { return 1; }
}
