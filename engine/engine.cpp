// Engine frame: initialisation, the main-loop export and shutdown.
// Runs on the caller's thread.
#include <string>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "media/media_elements.h"
#include "platform/process.h"

extern "C" STROVA_API EngineResult strova_init(uint8_t env_ready) {
  // GStreamer cannot be initialised again in this process.
  if (g_slots.released) return STROVA_INIT_AFTER_RELEASE;
  g_slots.source = g_slots.depay = g_slots.decoder = g_slots.converter = g_slots.jitter_buffer = nullptr;
  g_slots.tee = g_slots.app_queue = g_slots.play_queue = g_slots.sink = g_slots.play_sink = nullptr;
  g_slots.encoder = g_slots.payloader = g_slots.net_sink = nullptr;

  std::string path;
  switch (platform::ModulePathOf(reinterpret_cast<const void*>(&strova_init), path)) {
    case platform::ModulePathStatus::ModuleNotFound:
      return -1;
    case platform::ModulePathStatus::PathUnreadable:
      return -2;
    case platform::ModulePathStatus::Ok:
      break;
  }
  if (env_ready == 0) {
    const std::string folder = platform::FolderOf(path);
    if (folder.empty()) return -3;
    platform::PrepareRuntimeEnvironment(folder);
    platform::SetEnv("GST_DEBUG", "3");
  }
  gst_init(nullptr, nullptr);
  media::RegisterMediaElements();
  g_slots.main_loop = g_main_loop_new(nullptr, FALSE);
  return 1;
}

extern "C" STROVA_API EngineResult strova_wait(void) {
  if (g_slots.main_loop) g_main_loop_run(g_slots.main_loop);
  return 1;
}

extern "C" STROVA_API EngineResult strova_release(void) {
  if (!g_slots.main_loop) return 1;
  // libgstgl never joins the thread of a GL context it failed to create (no
  // usable display): that thread may still be ending when the caller exits
  // the process, and glibc then aborts on a double free. Let it end first.
  platform::WaitUntilNoThreadNamed("gstglcontext", 1000);
  g_main_loop_unref(g_slots.main_loop);
  g_slots.main_loop = nullptr;
  g_slots.released = true;
  if (!g_slots.elements_kept) gst_deinit();
  return 1;
}
