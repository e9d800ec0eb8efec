// Output pipeline "kxclient": RTP/H.264 from a UDP port, or a local camera,
// converted to NV12 and split by a tee; the appsink branch feeds OnNewSample
// and so the frame queue, the other branch is the preview (preview_branch.cpp).
// The exports run on the caller's thread. Streaming threads reach only
// OnNewSample; frame_queue is set before PLAYING is requested and closed only
// after the pipeline is in NULL. Touches no pipeline of another kind.
#include "engine/engine_slots.h"
#include "engine/frame_queue.h"
#include "engine/kxpcbox.h"
#include "engine/output_pipeline.h"

namespace {

void CloseFrameQueue() {
  if (!g_slots.frame_queue) return;
  FrameQueueClose(g_slots.frame_queue);
  g_slots.frame_queue = nullptr;
}

void LinkCameraChain(int32_t device_index, const char* device_name, const char* media_type, int32_t width,
                     int32_t height, int32_t framerate) {
  if (device_name)
    g_object_set(g_slots.source, "device-name", device_name, nullptr);
  else
    g_object_set(g_slots.source, "device-index", device_index, nullptr);

  GstElement* after_source = g_slots.decoder ? g_slots.decoder : g_slots.converter;
  const char* caps_name = media_type ? media_type : "video/x-raw";
  // A media type that cannot name caps links without them, as a size of 0 does.
  if (AppliesCameraCaps(width, height, framerate) && IsCapsName(caps_name)) {
    conventions::LinkFiltered(g_slots.source, after_source,
                              gst_caps_new_simple(caps_name, "width", G_TYPE_INT, width, "height", G_TYPE_INT,
                                                  height, nullptr));
  } else {
    gst_element_link(g_slots.source, after_source);
  }
  if (g_slots.decoder) gst_element_link(g_slots.decoder, g_slots.converter);
}

void LinkNetworkChain(int32_t port) {
  g_object_set(g_slots.source, "port", port, nullptr);
  GstCaps* rtp = gst_caps_new_simple("application/x-rtp", "payload", G_TYPE_INT, 96, nullptr);
  conventions::LinkFiltered(g_slots.source, g_slots.depay, rtp);
  gst_element_link(g_slots.depay, g_slots.decoder);
  gst_element_link(g_slots.decoder, g_slots.converter);
}

// Unlinks and removes the chain from the sink end back to the source and
// empties the element slots. The pipeline is in NULL.
void TakeChainApart() {
  if (g_slots.rtp_input)
    DismantleChain({g_slots.source, g_slots.depay, g_slots.decoder, g_slots.converter, g_slots.tee,
                    g_slots.app_queue, g_slots.sink});
  else if (g_slots.decoder)
    DismantleChain({g_slots.source, g_slots.decoder, g_slots.converter, g_slots.tee, g_slots.app_queue,
                    g_slots.sink});
  else
    DismantleChain({g_slots.source, g_slots.converter, g_slots.tee, g_slots.app_queue, g_slots.sink});
  g_slots.sink = g_slots.app_queue = g_slots.tee = nullptr;
  g_slots.source = g_slots.depay = g_slots.decoder = g_slots.converter = nullptr;
}

}  // namespace

bool UsesNetworkChain(const char* device_name, int32_t port) { return !device_name && port != 0; }

bool AppliesCameraCaps(int32_t width, int32_t height, int32_t framerate) {
  return width > 0 && height > 0 && framerate > 0;
}

void LinkOutputChain(int32_t device_index, const char* device_name, int32_t port, const char* media_type,
                     int32_t width, int32_t height, int32_t framerate) {
  if (g_slots.rtp_input)
    LinkNetworkChain(port);
  else
    LinkCameraChain(device_index, device_name, media_type, width, height, framerate);

  GstCaps* nv12 = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "NV12", nullptr);
  conventions::LinkFiltered(g_slots.converter, g_slots.tee, nv12);
  gst_element_link(g_slots.tee, g_slots.app_queue);
  gst_element_link(g_slots.app_queue, g_slots.sink);
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

  conventions::MakePipeline("kxclient", PipelineKind::Output);
  g_slots.converter = conventions::MakeElement("videoconvert", "converter");
  g_slots.tee = conventions::MakeElement("tee", "tee");
  g_slots.app_queue = conventions::MakeElement("queue", "queue-app");
  g_slots.sink = conventions::MakeElement("appsink", "app-sink");
  const bool common = g_slots.pipeline && g_slots.converter && g_slots.tee && g_slots.app_queue && g_slots.sink;

  g_slots.rtp_input = UsesNetworkChain(device_name, port);
  if (g_slots.rtp_input) {
    g_slots.source = conventions::MakeElement("udpsrc", "udp-source");
    g_slots.depay = conventions::MakeElement("rtph264depay", "rtph264-depay");
    g_slots.decoder = conventions::MakeElement("avdec_h264", "avdec-h264");
    if (!common || !g_slots.source || !g_slots.depay || !g_slots.decoder)
      return conventions::FailStart({&g_slots.source, &g_slots.depay, &g_slots.decoder, &g_slots.converter,
                                     &g_slots.tee, &g_slots.app_queue, &g_slots.sink});
  } else {
    g_slots.source = conventions::MakeElement("mfvideosrc", "webcam-source");
    g_slots.decoder = IsJpegMediaType(media_type) ? conventions::MakeElement("jpegdec", "jpegdecoder") : nullptr;
    if (!common || !g_slots.source)
      return conventions::FailStart({&g_slots.source, &g_slots.decoder, &g_slots.converter, &g_slots.tee,
                                     &g_slots.app_queue, &g_slots.sink});
  }

  g_object_set(g_slots.sink, "max-buffers", 3u, "emit-signals", TRUE, nullptr);
  g_signal_connect_data(g_slots.sink, "new-sample", G_CALLBACK(OnNewSample), nullptr, nullptr, GConnectFlags(0));
  conventions::AddBusWatch();

  GstBin* bin = GST_BIN(g_slots.pipeline);
  if (g_slots.rtp_input)
    gst_bin_add_many(bin, g_slots.source, g_slots.depay, g_slots.decoder, g_slots.converter, g_slots.tee,
                     g_slots.app_queue, g_slots.sink, nullptr);
  else if (g_slots.decoder)
    gst_bin_add_many(bin, g_slots.source, g_slots.decoder, g_slots.converter, g_slots.tee, g_slots.app_queue,
                     g_slots.sink, nullptr);
  else
    gst_bin_add_many(bin, g_slots.source, g_slots.converter, g_slots.tee, g_slots.app_queue, g_slots.sink,
                     nullptr);

  LinkOutputChain(device_index, device_name, port, media_type, width, height, framerate);
  return conventions::Play();
}

extern "C" STROVA_API EngineResult strova_endoutput(void) {
  if (conventions::BeginEnd(PipelineKind::Output)) {
    if (PreviewAttached()) DetachPreviewBranch();
    TakeChainApart();
    conventions::FinishEnd();
  }
  CloseFrameQueue();
  return 1;
}
