// An engine library that lacks most of the client's entry points: it must be
// treated as not loaded, and none of its functions called.
#include <cstdio>
#include <cstdlib>

#include "engine/strova.h"

namespace {
EngineResult Record(const char* name) {
  if (const char* path = std::getenv("FAKE_ENGINE_LOG"))
    if (FILE* log = std::fopen(path, "a")) {
      std::fprintf(log, "%s\n", name);
      std::fclose(log);
    }
  return 1;
}
}  // namespace

extern "C" {
STROVA_API EngineResult strova_init(uint8_t) { return Record("strova_init partial"); }
STROVA_API EngineResult strova_release(void) { return Record("strova_release partial"); }
}
