// On Windows the real Media Foundation elements of GStreamer serve.
#include "media/media_elements.h"

namespace media {

void RegisterMediaElements() {}

}  // namespace media
