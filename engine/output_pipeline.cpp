// Output pipeline "kxclient": RTP/H.264 from a UDP port, or a local camera,
// converted to NV12 and split by a tee; the appsink branch feeds OnNewSample
// and so the frame queue, the other branch is the preview (preview_branch.cpp).
// The exports run on the caller's thread. Streaming threads reach only
// OnNewSample; frame_queue is set before PLAYING is requested and closed only
// after the pipeline is in NULL. Touches no pipeline of another kind.
#include "engine/output_pipeline.h"

#include "engine/engine_slots.h"
#include "engine/frame_queue.h"
#include "engine/network_input.h"
#include "engine/pipeline_arguments.h"
#include "engine/pipeline_chain.h"
#include "engine/pipeline_conventions.h"

namespace {

void CloseFrameQueue() {
  if (!g_slots.frame_queue) return;
  FrameQueueClose(g_slots.frame_queue);
  g_slots.frame_queue = nullptr;
}

// The output chain in its three shapes: the network chain (RTP over UDP,
// ordered by the jitter buffer, depayloaded and decoded), or the camera,
// with a JPEG decoder when the camera sends JPEG and one can be made.
// source_caps (nullptr: none) filter the link that leaves the source.
PipelineChain OutputChain(bool network, bool jpeg, GstCaps* source_caps = nullptr, GstCaps* nv12 = nullptr) {
  return PipelineChain({
      {&g_slots.source, network ? "udpsrc" : "mfvideosrc", network ? "udp-source" : "webcam-source", source_caps},
      {&g_slots.jitter_buffer, "rtpjitterbuffer", "rtp-jitterbuffer", nullptr, network},
      {&g_slots.depay, "rtph264depay", "rtph264-depay", nullptr, network},
      {&g_slots.decoder, network ? "avdec_h264" : "jpegdec", network ? "avdec-h264" : "jpegdecoder", nullptr,
       network || jpeg, network},
      {&g_slots.converter, "videoconvert", "converter", nv12},
      {&g_slots.tee, "tee", "tee"},
      {&g_slots.app_queue, "queue", "queue-app"},
      {&g_slots.sink, "appsink", "app-sink"},
  });
}

// The caps of the link that leaves the source: the jitter buffer orders
// packets by the clock rate the RTP caps give; the camera's size caps apply
// only to a sensible size and media type (a media type that cannot name caps
// links without them, as a size of 0 does).
GstCaps* SourceCaps(bool network, const char* media_type, int32_t width, int32_t height, int32_t framerate) {
  if (network)
    return gst_caps_new_simple("application/x-rtp", "payload", G_TYPE_INT, 96, "clock-rate", G_TYPE_INT,
                               kRtpVideoClockRate, nullptr);
  const char* caps_name = media_type ? media_type : "video/x-raw";
  if (!AppliesCameraCaps(width, height, framerate) || !IsCapsName(caps_name)) return nullptr;
  return gst_caps_new_simple(caps_name, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
}

}  // namespace

bool UsesNetworkChain(const char* device_name, int32_t port) { return !device_name && port != 0; }

bool AppliesCameraCaps(int32_t width, int32_t height, int32_t framerate) {
  return width > 0 && height > 0 && framerate > 0;
}

extern "C" STROVA_API EngineResult strova_startoutput(int32_t device_index, const char* device_name, int32_t port,
                                                      const char* media_type, int32_t width, int32_t height,
                                                      int32_t framerate, int32_t /*framerate_den*/) {
  if (!conventions::MayStart()) return 0;
  // udpsrc would quietly listen on its default port instead.
  if (UsesNetworkChain(device_name, port) && !IsUdpPort(port)) return 0;
  // A queue left open by a start that failed and was never ended.
  CloseFrameQueue();
  g_slots.frame_queue = FrameQueueCreate(width, height);

  g_slots.rtp_input = UsesNetworkChain(device_name, port);
  PipelineChain chain = OutputChain(g_slots.rtp_input, IsJpegMediaType(media_type),
                                    SourceCaps(g_slots.rtp_input, media_type, width, height, framerate),
                                    gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "NV12", nullptr));
  // The common part first, from the converter on; then the source's part.
  if (!chain.Make("kxclient", PipelineKind::Output, &g_slots.converter)) return 0;

  // Each frame goes to the frame queue as soon as it is converted; its
  // timestamp travels with it and the camera paces its own reads.
  g_object_set(g_slots.sink, "max-buffers", 3u, "emit-signals", TRUE, "sync", FALSE, nullptr);
  g_signal_connect_data(g_slots.sink, "new-sample", G_CALLBACK(OnNewSample), nullptr, nullptr, GConnectFlags(0));
  chain.Add();

  if (g_slots.rtp_input) {
    g_object_set(g_slots.source, "port", port, nullptr);
    InstallNetworkGuards(g_slots.source, g_slots.jitter_buffer, g_slots.decoder);
  } else {
    ChooseCamera(g_slots.source, device_index, device_name);
  }
  chain.Link();
  conventions::Play();
  if (g_slots.rtp_input) ReportReceiveBuffer(g_slots.source);  // the socket is open once PLAYING is requested
  return 1;
}

extern "C" STROVA_API EngineResult strova_endoutput(void) {
  if (conventions::BeginEnd(PipelineKind::Output)) {
    if (PreviewAttached()) DetachPreviewBranch();
    // The decoder slot tells the camera shape: it is empty whenever no
    // decoder was made.
    const PipelineChain chain = OutputChain(g_slots.rtp_input, g_slots.decoder != nullptr);
    chain.Dismantle();
    chain.EmptySlots();
    conventions::FinishEnd();
  }
  CloseFrameQueue();
  return 1;
}
