// Linux stand-ins for the Media Foundation camera source and H.264 encoder.
#include "platform/media_elements.h"

namespace platform {

void RegisterMediaElements() {}

}  // namespace platform
