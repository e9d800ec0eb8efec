// The PipeWire camera: appsrc ! pipewiresink in "provide" mode, which makes a
// Video/Source node that consumers link to. pipewiresink keeps its own
// connection and threads; this side only pushes the pictures, each wrapped
// without a copy, and reads the bus for failures.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cmath>
#include <cstdlib>

#include "tools/vantrel-camera/camera_output.h"

namespace {

std::string DaemonSocket() {
  if (const char* remote = std::getenv("PIPEWIRE_REMOTE")) return remote;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return std::string(runtime ? runtime : "$XDG_RUNTIME_DIR") + "/pipewire-0";
}

std::string PopError(GstElement* pipeline) {
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  gst_object_unref(bus);
  if (!message) return {};
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  std::string text = error ? error->message : "unknown error";
  g_clear_error(&error);
  gst_message_unref(message);
  return text;
}

// pipewiresink offers its buffer pool with no size, which a plain appsrc
// would activate as it is (PipeWire buffers of no bytes). Without the offer
// the sink sizes its pool from the first picture it gets.
GstPadProbeReturn TakeAwayPoolOffers(GstPad*, GstPadProbeInfo* info, gpointer) {
  GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
  if (GST_QUERY_TYPE(query) == GST_QUERY_ALLOCATION) {
    while (gst_query_get_n_allocation_pools(query)) gst_query_remove_nth_allocation_pool(query, 0);
  }
  return GST_PAD_PROBE_OK;
}

class PipeWireOutput final : public CameraOutput {
 public:
  PipeWireOutput(GstElement* pipeline, GstElement* source) : pipeline_(pipeline), source_(source) {}
  ~PipeWireOutput() override {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(source_);
    gst_object_unref(pipeline_);
  }

  bool Start(PictureSize size, std::chrono::nanoseconds interval, std::string& error) override {
    interval_ = interval;
    const int fps = static_cast<int>(std::lround(1e9 / static_cast<double>(interval.count())));
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "NV12", "width", G_TYPE_INT,
                                        static_cast<int>(size.width), "height", G_TYPE_INT,
                                        static_cast<int>(size.height), "framerate", GST_TYPE_FRACTION, fps, 1, nullptr);
    g_object_set(source_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      error = "the PipeWire camera could not start: " + PopError(pipeline_);
      return false;
    }
    return true;
  }

  bool Publish(const Picture& picture, std::string& error) override {
    if (std::string failure = PopError(pipeline_); !failure.empty()) {
      error = "the PipeWire camera failed: " + failure + " (has the PipeWire daemon stopped?)";
      return false;
    }
    auto* held = new Picture(picture);
    GstBuffer* buffer =
        gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(picture->data()), picture->size(), 0,
                                    picture->size(), held, [](gpointer data) { delete static_cast<Picture*>(data); });
    GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(interval_.count());
    gst_app_src_push_buffer(GST_APP_SRC(source_), buffer);
    return true;
  }

  std::string Where() const override {
    return std::string("PipeWire node \"") + kCameraNodeName + "\" (\"" + kCameraDescription +
           "\"; see pw-cli ls Node)";
  }

 private:
  GstElement* pipeline_;
  GstElement* source_;
  std::chrono::nanoseconds interval_{};
};

}  // namespace

std::unique_ptr<CameraOutput> OpenPipeWireOutput(std::string& error) {
  GstElement* sink = gst_element_factory_make("pipewiresink", "camera-sink");
  if (!sink) {
    error = "GStreamer's pipewiresink is missing: install gstreamer1.0-pipewire";
    return nullptr;
  }
  GstElement* source = gst_element_factory_make("appsrc", "camera-source");
  GstElement* pipeline = gst_pipeline_new("vantrel-camera");
  gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
  gst_element_link(source, sink);
  gst_object_ref(source);
  // A live source stamped on arrival; a consumer that falls behind loses
  // the older pictures, never holds up the camera.
  g_object_set(source, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", TRUE, "max-buffers", guint64{2},
               "block", FALSE, nullptr);
  gst_util_set_object_arg(G_OBJECT(source), "leaky-type", "downstream");
  GstPad* source_pad = gst_element_get_static_pad(source, "src");
  gst_pad_add_probe(source_pad,
                    static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM | GST_PAD_PROBE_TYPE_PULL),
                    TakeAwayPoolOffers, nullptr, nullptr);
  gst_object_unref(source_pad);
  GstStructure* properties = gst_structure_new("props", "media.class", G_TYPE_STRING, "Video/Source", "media.role",
                                               G_TYPE_STRING, "Camera", "node.name", G_TYPE_STRING, kCameraNodeName,
                                               "node.description", G_TYPE_STRING, kCameraDescription, nullptr);
  g_object_set(sink, "client-name", kCameraNodeName, "stream-properties", properties, "sync", FALSE, nullptr);
  gst_structure_free(properties);
  gst_util_set_object_arg(G_OBJECT(sink), "mode", "provide");
  auto output = std::make_unique<PipeWireOutput>(pipeline, source);
  // pipewiresink connects to the daemon on the way to READY.
  if (gst_element_set_state(pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
    error = "no PipeWire daemon answers at " + DaemonSocket() +
            ": start it (systemctl --user start pipewire wireplumber) or use --v4l2 /dev/videoN";
    return nullptr;
  }
  return output;
}
