// Test helpers for the output pipeline: a small camera element registered as
// "mfvideosrc", an RTP/H.264 sender to loopback, a free UDP port, walking the
// chain of a running pipeline and reference NV12 frames.
#pragma once

#include <arpa/inet.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace outputtest {

// ---- a camera for Linux tests: a bin around a live videotestsrc (SMPTE
// bars), optionally JPEG-encoded, with the camera's two properties.

struct FakeCamera {
  GstBin parent;
  gint device_index;
  gchar* device_name;
};
struct FakeCameraClass {
  GstBinClass parent_class;
};

inline bool g_fake_camera_jpeg = false;

enum { kPropDeviceIndex = 1, kPropDeviceName };

G_DEFINE_TYPE(FakeCamera, fake_camera, GST_TYPE_BIN)

inline void fake_camera_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  auto* self = reinterpret_cast<FakeCamera*>(object);
  if (id == kPropDeviceIndex) {
    self->device_index = g_value_get_int(value);
  } else if (id == kPropDeviceName) {
    g_free(self->device_name);
    self->device_name = g_value_dup_string(value);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

inline void fake_camera_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  auto* self = reinterpret_cast<FakeCamera*>(object);
  if (id == kPropDeviceIndex)
    g_value_set_int(value, self->device_index);
  else if (id == kPropDeviceName)
    g_value_set_string(value, self->device_name);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

inline void fake_camera_finalize(GObject* object) {
  g_free(reinterpret_cast<FakeCamera*>(object)->device_name);
  G_OBJECT_CLASS(fake_camera_parent_class)->finalize(object);
}

inline void fake_camera_class_init(FakeCameraClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = fake_camera_set_property;
  object_class->get_property = fake_camera_get_property;
  object_class->finalize = fake_camera_finalize;
  g_object_class_install_property(
      object_class, kPropDeviceIndex,
      g_param_spec_int("device-index", "Device index", "Camera number", -1, G_MAXINT, 0, G_PARAM_READWRITE));
  g_object_class_install_property(
      object_class, kPropDeviceName,
      g_param_spec_string("device-name", "Device name", "Camera name", nullptr, G_PARAM_READWRITE));
  gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Test camera", "Source/Video",
                                        "SMPTE bars as a camera", "Vantrel tests");
}

inline void fake_camera_init(FakeCamera* self) {
  GstElement* pattern = gst_element_factory_make("videotestsrc", nullptr);
  g_object_set(pattern, "is-live", TRUE, nullptr);
  GstElement* last = pattern;
  gst_bin_add(GST_BIN(self), pattern);
  if (g_fake_camera_jpeg) {
    last = gst_element_factory_make("jpegenc", nullptr);
    gst_bin_add(GST_BIN(self), last);
    gst_element_link(pattern, last);
  }
  GstPad* target = gst_element_get_static_pad(last, "src");
  gst_element_add_pad(GST_ELEMENT(self), gst_ghost_pad_new("src", target));
  gst_object_unref(target);
}

// Call before strova_init, so that the engine's own stand-in steps aside.
inline void RegisterFakeCamera(bool jpeg) {
  gst_init(nullptr, nullptr);
  g_fake_camera_jpeg = jpeg;
  gst_element_register(nullptr, "mfvideosrc", GST_RANK_PRIMARY + 1, fake_camera_get_type());
}

// Takes a factory out of the registry, so that making it fails. Its plugin is
// loaded first: loading it later would register the factory again.
inline void RemoveFactory(const char* name) {
  gst_init(nullptr, nullptr);
  GstRegistry* registry = gst_registry_get();
  if (GstPluginFeature* feature = gst_registry_lookup_feature(registry, name)) {
    if (GstPluginFeature* loaded = gst_plugin_feature_load(feature)) gst_object_unref(loaded);
    gst_registry_remove_feature(registry, feature);
    gst_object_unref(feature);
  }
}

// ---- network

inline int FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// SMPTE bars as RTP/H.264 (payload 96) to 127.0.0.1:port, live, until destroyed.
class RtpSender {
 public:
  RtpSender(int port, int width, int height, int fps = 30) {
    const std::string description =
        "videotestsrc is-live=true pattern=smpte ! video/x-raw,format=I420,width=" + std::to_string(width) +
        ",height=" + std::to_string(height) + ",framerate=" + std::to_string(fps) +
        "/1 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=5 ! "
        "rtph264pay pt=96 config-interval=-1 ! udpsink host=127.0.0.1 port=" +
        std::to_string(port);
    pipeline_ = gst_parse_launch(description.c_str(), nullptr);
    if (pipeline_) gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~RtpSender() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  RtpSender(const RtpSender&) = delete;
  RtpSender& operator=(const RtpSender&) = delete;
  bool ok() const { return pipeline_ != nullptr; }

 private:
  GstElement* pipeline_ = nullptr;
};

// ---- the shape of a running chain

// The element a src pad leads to, passing through the capsfilter that
// gst_element_link_filtered puts in; caps is that filter's caps or "".
struct Hop {
  std::string to;
  std::string caps;
};

inline std::string CapsText(GstElement* filter) {
  GstCaps* caps = nullptr;
  g_object_get(filter, "caps", &caps, nullptr);
  gchar* text = caps ? gst_caps_to_string(caps) : g_strdup("");
  std::string result = text;
  g_free(text);
  if (caps) gst_caps_unref(caps);
  return result;
}

inline bool IsCapsFilter(GstElement* element) {
  GstElementFactory* factory = gst_element_get_factory(element);
  return factory && std::string(GST_OBJECT_NAME(factory)) == "capsfilter";
}

inline GstElement* PeerElement(GstPad* pad) {
  GstPad* peer = gst_pad_get_peer(pad);
  if (!peer) return nullptr;
  GstElement* element = gst_pad_get_parent_element(peer);
  gst_object_unref(peer);
  return element;  // a reference
}

inline std::vector<Hop> HopsFrom(GstElement* element) {
  std::vector<Hop> hops;
  for (GList* l = element->srcpads; l; l = l->next) {
    GstElement* next = PeerElement(GST_PAD(l->data));
    if (!next) continue;
    Hop hop;
    if (IsCapsFilter(next)) {
      hop.caps = CapsText(next);
      GstPad* out = gst_element_get_static_pad(next, "src");
      GstElement* after = PeerElement(out);
      gst_object_unref(out);
      gst_object_unref(next);
      next = after;
    }
    if (next) {
      hop.to = GST_OBJECT_NAME(next);
      gst_object_unref(next);
    }
    hops.push_back(hop);
  }
  return hops;
}

// "a -> b -[caps]-> c ...", following the first link out of every element.
inline std::string ChainFrom(GstElement* bin, const char* first) {
  std::string text = first;
  GstElement* element = gst_bin_get_by_name(GST_BIN(bin), first);
  while (element) {
    const std::vector<Hop> hops = HopsFrom(element);
    gst_object_unref(element);
    element = nullptr;
    if (hops.empty() || hops[0].to.empty()) break;
    text += hops[0].caps.empty() ? " -> " : " -[" + hops[0].caps + "]-> ";
    text += hops[0].to;
    element = gst_bin_get_by_name(GST_BIN(bin), hops[0].to.c_str());
  }
  return text;
}

// Names of the elements in the bin, capsfilters left out, sorted.
inline std::vector<std::string> ElementNames(GstElement* bin) {
  std::vector<std::string> names;
  for (GList* l = GST_BIN_CHILDREN(bin); l; l = l->next) {
    GstElement* child = GST_ELEMENT(l->data);
    if (!IsCapsFilter(child)) names.push_back(GST_OBJECT_NAME(child));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// ---- reference pixels: the same pattern as the sender, converted to NV12
// without passing through the encoder.

struct Nv12Frame {
  int width = 0, height = 0, stride = 0;
  std::vector<uint8_t> bytes;  // Y plane (stride x height), then UV plane
  int Y(int x, int y) const { return bytes[size_t(y) * stride + x]; }
  int U(int x, int y) const { return bytes[size_t(stride) * height + size_t(y / 2) * stride + (x & ~1)]; }
  int V(int x, int y) const { return bytes[size_t(stride) * height + size_t(y / 2) * stride + (x & ~1) + 1]; }
};

inline Nv12Frame ReferenceFrame(int width, int height) {
  const std::string description =
      "videotestsrc num-buffers=1 pattern=smpte ! video/x-raw,format=I420,width=" + std::to_string(width) +
      ",height=" + std::to_string(height) + " ! videoconvert ! video/x-raw,format=NV12 ! appsink name=out";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  Nv12Frame frame;
  if (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
    GstVideoInfo info;
    gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
    GstMapInfo map;
    gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
    frame.width = width;
    frame.height = height;
    frame.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const size_t luma = size_t(frame.stride) * height;
    frame.bytes.assign(map.data, map.data + luma);
    const uint8_t* uv = map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 1);
    frame.bytes.insert(frame.bytes.end(), uv, uv + luma / 2);
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  return frame;
}

// Points in the middle of each of the seven top bars.
inline std::vector<std::pair<int, int>> BarCentres(int width, int height) {
  std::vector<std::pair<int, int>> points;
  for (int bar = 0; bar < 7; ++bar) points.emplace_back((2 * bar + 1) * width / 14, height / 3);
  return points;
}

// ---- waiting

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace outputtest
