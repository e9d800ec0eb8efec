// The Linux stand-ins for the Media Foundation elements, one element a file:
// camera_source.cpp ("mfvideosrc") and h264_encoder.cpp ("mfh264enc").
// media_elements_posix.cpp registers them. Any thread.
#pragma once

#include <glib-object.h>

namespace media {

GType CameraSourceType();
GType H264EncoderType();

}  // namespace media
