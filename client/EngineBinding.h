// The client's binding of the media engine: loading the library from the
// program folder, the six entry points it calls, and releasing it at exit.
// Written on the GUI thread before the window exists, only read afterwards.
#pragma once

#include <string>

#include "engine/strova.h"
#include "platform/process.h"

namespace vantrel {

struct EngineEntryPoints {
  EngineResult (*strova_init)(uint8_t);
  EngineResult (*strova_startoutput)(int32_t, const char*, int32_t, const char*, int32_t, int32_t, int32_t,
                                     int32_t);
  EngineResult (*strova_playon)(uintptr_t);
  EngineResult (*strova_playoff)();
  EngineResult (*strova_endoutput)();
  EngineResult (*strova_release)();
};

// True when the engine was loaded, bound in full and initialised.
extern bool EngineLoaded;
extern platform::LibraryHandle EngineHandle;
extern EngineEntryPoints Engine;

// The engine library's file name: "Strova.dll" on Windows, "libstrova.so" elsewhere.
const char* EngineLibraryFileName();

// Start-up, before the application object exists: masks floating-point
// exceptions, points the environment at the program folder's runtime, loads
// the engine from `program_folder`, binds it and initialises it.
void LoadMediaEngine(const std::string& program_folder);
// Shutdown, after the message loop: releases and unloads a loaded engine.
void UnloadMediaEngine();

}  // namespace vantrel
