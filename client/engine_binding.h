// The client's binding of the media engine: loading the library from the
// program folder, the six entry points it calls, releasing it at exit, and the
// client's flags for the engine's output and preview.
// The binding is written on the GUI thread before the window exists, only read
// afterwards; the flags belong to the GUI thread.
#pragma once

#include <string>

#include "engine/strova.h"
#include "platform/process.h"

namespace vantrel {

struct EngineEntryPoints {
  EngineResult (*strova_init)(uint8_t);
  EngineResult (*strova_startoutput)(int32_t, const char*, int32_t, const char*, int32_t, int32_t, int32_t, int32_t);
  EngineResult (*strova_playon)(uintptr_t);
  EngineResult (*strova_playoff)();
  EngineResult (*strova_endoutput)();
  EngineResult (*strova_release)();
};

// True when the engine was loaded, bound in full and initialised.
extern bool EngineLoaded;
extern platform::LibraryHandle EngineHandle;
extern EngineEntryPoints Engine;

// The client's flags for the engine's output and preview: this client
// started the output pipeline and has not ended it; the preview is attached.
// PreviewActive is true only while OutputActive is. GUI thread only.
extern bool OutputActive;
extern bool PreviewActive;

// The engine library's file name: "Strova.dll" on Windows, "libstrova.so" elsewhere.
const char* EngineLibraryFileName();

// Start-up, before the application object exists: masks floating-point
// exceptions, points the environment at the program folder's runtime, loads
// the engine from `program_folder`, binds it and initialises it.
void LoadMediaEngine(const std::string& program_folder);
// Shutdown, after the message loop: releases and unloads a loaded engine.
void UnloadMediaEngine();

}  // namespace vantrel
