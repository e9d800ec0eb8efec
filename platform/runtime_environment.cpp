// The GStreamer runtime environment beside a program or library; the same on
// every system, built on the separators of platform/process.h.
#include "platform/process.h"

namespace platform {

void PrepareRuntimeEnvironment(const std::string& folder) {
  const std::string runtime = folder + "gst";
  const std::string plugins = runtime + PathSeparator() + "lib";
  SetEnv("PATH", PrependPathEntry(runtime, GetEnv("PATH").value_or("")));
  SetEnv("GST_PLUGIN_PATH", plugins);
  SetEnv("GST_PLUGIN_SYSTEM_PATH", plugins);
}

}  // namespace platform
