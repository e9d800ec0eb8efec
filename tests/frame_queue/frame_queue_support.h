// Test support for the frame queue: private region names, NV12 samples made
// in memory, and a real appsrc ! appsink pipeline whose appsink is handled by
// OnNewSample.
#pragma once

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/engine_slots.h"
#include "engine/frame_queue.h"

namespace fq_test {

// A region name of this test process, so that tests run side by side.
inline std::string PrivateName() { return "vantrelTest-" + std::to_string(getpid()); }

// An NV12 frame of width x height with the given row strides (0: GStreamer's
// default layout, carried by the caps alone); every Y byte is `luma`, every
// UV byte `chroma`. Strides other than the default travel in a video meta.
struct Nv12 {
  int width;
  int height;
  int y_stride = 0;
  int uv_stride = 0;
  uint8_t luma = 200;
  uint8_t chroma = 60;
};

inline void PrintTo(const Nv12& f, std::ostream* os) {
  *os << f.width << "x" << f.height << " strides " << f.y_stride << "/" << f.uv_stride;
}

inline GstSample* MakeSample(const Nv12& f, GstClockTime pts) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, GST_VIDEO_FORMAT_NV12, f.width, f.height);
  const bool custom = f.y_stride || f.uv_stride;
  gsize offsets[GST_VIDEO_MAX_PLANES] = {0};
  gint strides[GST_VIDEO_MAX_PLANES] = {GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), GST_VIDEO_INFO_PLANE_STRIDE(&info, 1)};
  if (f.y_stride) strides[0] = f.y_stride;
  if (f.uv_stride) strides[1] = f.uv_stride;
  offsets[1] = static_cast<gsize>(strides[0]) * f.height;
  const gsize size = offsets[1] + static_cast<gsize>(strides[1]) * ((f.height + 1) / 2);
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, custom ? size : info.size, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  const gsize uv_start = custom ? offsets[1] : GST_VIDEO_INFO_PLANE_OFFSET(&info, 1);
  memset(map.data, f.luma, uv_start);
  memset(map.data + uv_start, f.chroma, map.size - uv_start);
  gst_buffer_unmap(buffer, &map);
  if (custom) {
    gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_NV12, f.width, f.height, 2,
                                   offsets, strides);
  }
  GST_BUFFER_PTS(buffer) = pts;
  GstCaps* caps = gst_video_info_to_caps(&info);
  GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
  gst_buffer_unref(buffer);
  gst_caps_unref(caps);
  return sample;
}

// appsrc ! appsink with OnNewSample on "new-sample", as the output pipeline
// connects it. Feed() (once) pushes samples, then end-of-stream, and returns
// once the appsink has handled all of them; the pushed buffers must be freed
// once the pipeline has gone.
class Feeder {
 public:
  Feeder() {
    pipeline_ = gst_parse_launch(
        "appsrc name=src format=time ! appsink name=sink sync=false "
        "emit-signals=true enable-last-sample=false",
        nullptr);
    src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    g_signal_connect(sink, "new-sample", G_CALLBACK(OnNewSample), nullptr);
    gst_object_unref(sink);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~Feeder() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(src_);
    gst_object_unref(pipeline_);
    // Every sample the appsink handed over has been released again (the
    // appsink's own last reference may go a moment after the pipeline).
    for (int wait = 0; wait < 200 && freed_ < pushed_; ++wait) g_usleep(10'000);
    EXPECT_EQ(freed_, pushed_);
  }
  void Feed(const std::vector<GstSample*>& samples) {
    for (GstSample* sample : samples) {
      gst_mini_object_weak_ref(GST_MINI_OBJECT_CAST(gst_sample_get_buffer(sample)), OnBufferFreed, &freed_);
      ++pushed_;
      gst_app_src_push_sample(GST_APP_SRC(src_), sample);
      gst_sample_unref(sample);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src_));
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(message), GST_MESSAGE_EOS);
    gst_message_unref(message);
    gst_object_unref(bus);
  }

 private:
  GstElement* pipeline_;
  GstElement* src_;
  static void OnBufferFreed(gpointer freed, GstMiniObject*) { ++*static_cast<std::atomic<int>*>(freed); }
  int pushed_ = 0;
  std::atomic<int> freed_{0};
};

}  // namespace fq_test
