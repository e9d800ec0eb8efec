// GStreamer elements that stand in for platform media services the engine
// names by factory ("mfvideosrc", "mfh264enc"). Called once, right after
// gst_init, on the caller's thread. Registers nothing where the real elements
// exist.
#pragma once

namespace media {

void RegisterMediaElements();

}  // namespace media
