// A stand-in for the media engine, for client tests: the six entry points the
// client binds, each appending one line "name arg1 arg2 ..." to the file named
// by FAKE_ENGINE_LOG (no file when unset; a null text reads "null"). Each
// returns 1, or the integer in FAKE_ENGINE_RESULT_<name> when that is set.
// Called on whichever thread the client uses; one call at a time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/strova.h"

namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string("null"); }

template <typename... Args>
EngineResult Record(const char* name, const Args&... args) {
  if (const char* path = std::getenv("FAKE_ENGINE_LOG")) {
    std::string line = name;
    ((line += ' ', line += args), ...);
    line += '\n';
    if (FILE* log = std::fopen(path, "a")) {
      std::fputs(line.c_str(), log);
      std::fclose(log);
    }
  }
  const char* result = std::getenv((std::string("FAKE_ENGINE_RESULT_") + name).c_str());
  return result ? std::atoi(result) : 1;
}

}  // namespace

extern "C" {

STROVA_API EngineResult strova_init(uint8_t env_ready) { return Record("strova_init", std::to_string(env_ready)); }

STROVA_API EngineResult strova_startoutput(int32_t device_index, const char* device_name, int32_t port,
                                           const char* media_type, int32_t width, int32_t height, int32_t framerate,
                                           int32_t framerate_den) {
  return Record("strova_startoutput", std::to_string(device_index), Text(device_name), std::to_string(port),
                Text(media_type), std::to_string(width), std::to_string(height), std::to_string(framerate),
                std::to_string(framerate_den));
}

STROVA_API EngineResult strova_playon(uintptr_t window_handle) {
  return Record("strova_playon", std::to_string(window_handle));
}

STROVA_API EngineResult strova_playoff(void) { return Record("strova_playoff"); }

STROVA_API EngineResult strova_endoutput(void) { return Record("strova_endoutput"); }

STROVA_API EngineResult strova_release(void) { return Record("strova_release"); }
}
