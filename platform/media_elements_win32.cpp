// On Windows the real Media Foundation elements of GStreamer serve.
#include "platform/media_elements.h"

namespace platform {

void RegisterMediaElements() {}

}  // namespace platform
