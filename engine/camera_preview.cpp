// Camera preview pipeline "kxpcbox": camera [-> JPEG decoder] -> converter ->
// OpenGL sink drawing into the caller's window.
// Exports run on the caller's thread; the video runs on GStreamer's threads.
// Touches only the slots of its own chain, never the frame queue.
#include "engine/engine_slots.h"
#include "engine/pipeline_arguments.h"
#include "engine/pipeline_chain.h"
#include "engine/pipeline_conventions.h"

namespace {

// camera_caps (nullptr: none) filter the link that leaves the camera.
PipelineChain CameraPreviewChain(bool jpeg, GstCaps* camera_caps = nullptr) {
  return PipelineChain({
      {&g_slots.source, "mfvideosrc", "webcam-source", camera_caps},
      {&g_slots.decoder, "jpegdec", "jpegdecoder", nullptr, jpeg},
      {&g_slots.converter, "videoconvert", "converter"},
      {&g_slots.sink, "glimagesink", "video-output"},
  });
}

}  // namespace

extern "C" STROVA_API EngineResult strova_startplay(int32_t device_index, const char* device_name,
                                                    const char* media_type, int32_t width, int32_t height,
                                                    int32_t framerate, int32_t framerate_den, uintptr_t window_handle) {
  if (!conventions::MayStart()) return 0;
  PipelineChain chain = CameraPreviewChain(IsJpegMediaType(media_type),
                                           MakeSourceCaps(media_type, width, height, framerate, framerate_den));
  if (!chain.Build("kxpcbox", PipelineKind::CameraPreview)) return 0;
  ChooseCamera(g_slots.source, device_index, device_name);
  chain.Link();
  GiveWindowHandle(g_slots.sink, window_handle);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endplay(void) {
  // The decoder slot tells the shape: it is empty whenever no decoder was made.
  return CameraPreviewChain(g_slots.decoder != nullptr).End(PipelineKind::CameraPreview);
}
