// The frame queue as the output pipeline writes it: every sample's planes are
// found in its buffer and handed to the writer core. OnNewSample runs on the
// output pipeline's app-queue thread; per frame it makes no allocation and no
// system call. Create and close run on the caller's thread of the exports.
#include "engine/frame_queue.h"

#include <new>

#include "engine/engine_slots.h"

namespace {

// True when a plane of `rows` rows of `row_bytes` at `offset` with `stride`
// lies inside a buffer of `size` bytes.
bool PlaneFits(uint64_t offset, int64_t stride, uint64_t row_bytes, uint64_t rows, uint64_t size) {
  if (stride < 0 || static_cast<uint64_t>(stride) < row_bytes || offset > size) return false;
  return rows == 0 || (rows - 1) * static_cast<uint64_t>(stride) + row_bytes <= size - offset;
}

// Reads the caps only when they differ from the last sample's.
bool UpdateVideoInfo(FrameQueue* queue, GstCaps* caps) {
  if (caps != queue->caps) {
    gst_caps_replace(&queue->caps, caps);
    queue->video_info_usable = gst_caps_is_fixed(caps) && gst_video_info_from_caps(&queue->video_info, caps) &&
                               GST_VIDEO_INFO_FORMAT(&queue->video_info) == GST_VIDEO_FORMAT_NV12;
  }
  return queue->video_info_usable;
}

void WriteSample(FrameQueue* queue, GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  if (!buffer || !caps || !UpdateVideoInfo(queue, caps)) return;
  GstVideoInfo info = queue->video_info;
  // A producer that pads its rows says so in the buffer's video meta.
  if (const GstVideoMeta* meta = gst_buffer_get_video_meta(buffer); meta && meta->n_planes >= 2) {
    for (int plane = 0; plane < 2; ++plane) {
      info.offset[plane] = meta->offset[plane];
      info.stride[plane] = meta->stride[plane];
    }
  }
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
  if (const auto planes = PlanesInBuffer(info, map.data, map.size)) {
    WriteFrame(queue, *planes, GST_BUFFER_PTS(buffer));
  }
  gst_buffer_unmap(buffer, &map);
}

}  // namespace

FrameQueue* FrameQueueCreate(int32_t width, int32_t height, const char* region_name) {
  auto* queue = new (std::nothrow) FrameQueue{};
  if (!queue) return nullptr;
  const QueueCreateResult result = FrameQueueWriterCreate(*queue, width, height, region_name);
  if (result != QueueCreateResult::Created) {
    g_printerr("No frame queue for %dx%d frames: %s.\n", width, height, FrameQueueCreateText(result));
    delete queue;
    return nullptr;
  }
  return queue;
}

void FrameQueueClose(FrameQueue* queue) {
  if (!queue) return;
  gst_caps_replace(&queue->caps, nullptr);
  FrameQueueWriterClose(*queue);
  delete queue;
}

GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer) {
  GstSample* sample = nullptr;
  g_signal_emit_by_name(appsink, "pull-sample", &sample);
  if (!sample) return GST_FLOW_OK;
  if (FrameQueue* queue = g_slots.frame_queue) WriteSample(queue, sample);
  gst_mini_object_unref(GST_MINI_OBJECT_CAST(sample));
  return GST_FLOW_OK;
}

std::optional<FramePlanes> PlanesInBuffer(const GstVideoInfo& info, const uint8_t* data, size_t size) {
  if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_NV12) return std::nullopt;
  const int width = GST_VIDEO_INFO_WIDTH(&info);
  const int height = GST_VIDEO_INFO_HEIGHT(&info);
  if (width <= 0 || height <= 0) return std::nullopt;
  const uint64_t uv_row_bytes = 2 * ((static_cast<uint64_t>(width) + 1) / 2);
  const uint64_t uv_rows = (static_cast<uint64_t>(height) + 1) / 2;
  const int y_stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
  const int uv_stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 1);
  const size_t y_offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
  const size_t uv_offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 1);
  if (!PlaneFits(y_offset, y_stride, width, height, size) ||
      !PlaneFits(uv_offset, uv_stride, uv_row_bytes, uv_rows, size)) {
    return std::nullopt;
  }
  return FramePlanes{data + y_offset,
                     data + uv_offset,
                     static_cast<uint32_t>(y_stride),
                     static_cast<uint32_t>(uv_stride),
                     static_cast<uint32_t>(width),
                     static_cast<uint32_t>(height)};
}
