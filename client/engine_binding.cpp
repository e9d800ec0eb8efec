// Engine binding of the client (see engine_binding.h). GUI thread only.
#include "client/engine_binding.h"

namespace vantrel {

bool EngineLoaded = false;
platform::LibraryHandle EngineHandle = nullptr;
EngineEntryPoints Engine{};
bool OutputActive = false;
bool PreviewActive = false;

const char* EngineLibraryFileName() {
#ifdef _WIN32
  return "Strova.dll";
#else
  return "libstrova.so";
#endif
}

namespace {

template <typename Fn>
bool Bind(Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(platform::ResolveSymbol(EngineHandle, name));
  return slot != nullptr;
}

}  // namespace

void LoadMediaEngine(const std::string& program_folder) {
  platform::MaskFloatingPointExceptions();
  platform::PrepareRuntimeEnvironment(program_folder);

  const std::string library = program_folder + EngineLibraryFileName();
  if (!platform::FileExists(library)) return;
  EngineHandle = platform::LoadSharedLibrary(library);
  if (!EngineHandle) return;

  // Bind every name before anything is called: an engine that lacks one is
  // treated as not loaded, so no call ever goes through an empty slot.
  bool complete = true;
  complete &= Bind(Engine.strova_init, "strova_init");
  complete &= Bind(Engine.strova_startoutput, "strova_startoutput");
  complete &= Bind(Engine.strova_playon, "strova_playon");
  complete &= Bind(Engine.strova_playoff, "strova_playoff");
  complete &= Bind(Engine.strova_endoutput, "strova_endoutput");
  complete &= Bind(Engine.strova_release, "strova_release");

  // The environment is prepared above; the engine leaves it as it is.
  if (complete && Engine.strova_init(1) > 0) {
    EngineLoaded = true;
    return;
  }
  platform::UnloadLibrary(EngineHandle);
  EngineHandle = nullptr;
  Engine = {};
}

void UnloadMediaEngine() {
  if (!EngineLoaded) return;
  Engine.strova_release();
  platform::UnloadLibrary(EngineHandle);
}

}  // namespace vantrel
