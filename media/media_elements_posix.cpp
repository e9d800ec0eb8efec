// Registers the Linux stand-ins for the Media Foundation camera source and
// H.264 encoder, only under names no element holds yet, so that real elements
// and test elements win. Caller's thread, once from strova_init.
#include <gst/gst.h>

#include "media/media_elements.h"
#include "media/stand_in_elements.h"

namespace {

bool FactoryExists(const char* name) {
  GstElementFactory* factory = gst_element_factory_find(name);
  if (factory) gst_object_unref(factory);
  return factory != nullptr;
}

}  // namespace

namespace media {

void RegisterMediaElements() {
  if (!FactoryExists("mfvideosrc")) {
    gst_element_register(nullptr, "mfvideosrc", GST_RANK_NONE, CameraSourceType());
  }
  const bool encoder_parts = FactoryExists("x264enc") && FactoryExists("videoconvert");
  if (!FactoryExists("mfh264enc") && encoder_parts) {
    gst_element_register(nullptr, "mfh264enc", GST_RANK_NONE, H264EncoderType());
  }
}

}  // namespace media
