// The frame queue's writer: creates and closes the region, and copies every
// frame of the output pipeline into the next slot. OnNewSample runs on the
// output pipeline's app-queue thread; per frame it makes no allocation and no
// system call. Everything else runs on the caller's thread of the exports.
#include "engine/frame_queue.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/engine_slots.h"

namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

// Copies `rows` rows of `row_bytes` from a plane with `stride` into an area of
// `area_bytes` with rows of `area_stride`, cropping, and fills the rest.
void CopyPlaneCropped(const uint8_t* plane, uint32_t stride, uint32_t row_bytes, uint32_t rows,
                      uint8_t* area, uint32_t area_stride, uint32_t area_bytes, uint8_t fill) {
  if (area_stride == 0) return;
  uint32_t row = 0;
  for (uint32_t offset = 0; offset < area_bytes; offset += area_stride, ++row) {
    const uint32_t room = std::min(area_stride, area_bytes - offset);
    const uint32_t copied = row < rows ? std::min(room, row_bytes) : 0;
    if (copied) std::memcpy(area + offset, plane + static_cast<size_t>(row) * stride, copied);
    std::memset(area + offset + copied, fill, room - copied);
  }
}

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
    queue->video_info_usable = gst_caps_is_fixed(caps) &&
                               gst_video_info_from_caps(&queue->video_info, caps) &&
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
  const auto layout = ComputeFrameQueueLayout(width, height);
  if (!layout) return nullptr;
  platform::SharedRegion region;
  if (platform::CreateSharedRegion(region_name, layout->region_bytes, IsCompleteFrameQueue,
                                   region) != platform::RegionCreate::Created) {
    return nullptr;
  }
  auto* view = static_cast<uint8_t*>(region.view);
  auto* header = reinterpret_cast<FrameQueueHeader*>(view);
  header->write_index = 0;
  header->read_index = 0;
  std::copy(std::begin(layout->slot_offset), std::end(layout->slot_offset), header->slot_offset);
  header->width = layout->width;
  header->height = layout->height;
  header->frame_interval = kFrameInterval;
  // Stored last: a complete header tells a live writer from one still starting.
  StoreRelease(header->state, kFrameQueueCreated);

  auto* queue = new (std::nothrow) FrameQueue{};
  if (!queue) {
    platform::CloseSharedRegion(region);
    return nullptr;
  }
  queue->mapping = std::move(region);
  queue->header = header;
  for (uint32_t k = 0; k < kFrameQueueSlots; ++k) {
    queue->slot_header[k] = reinterpret_cast<FrameSlotHeader*>(view + layout->slot_offset[k]);
    queue->slot_data[k] = view + layout->slot_offset[k] + kFrameSlotHeaderBytes;
  }
  queue->is_writer = true;
  queue->layout = *layout;
  return queue;
}

void FrameQueueClose(FrameQueue* queue) {
  if (!queue) return;
  if (queue->is_writer) StoreRelease(queue->header->state, kFrameQueueClosed);
  gst_caps_replace(&queue->caps, nullptr);
  platform::CloseSharedRegion(queue->mapping);
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

std::optional<FramePlanes> PlanesInBuffer(const GstVideoInfo& info, const uint8_t* data,
                                          size_t size) {
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

void CopyFrameToSlot(const FramePlanes& frame, const FrameQueueLayout& layout, uint8_t* area) {
  const uint32_t width = layout.width;
  const uint32_t uv_bytes = layout.frame_bytes - layout.luma_bytes;
  uint8_t* uv_area = area + layout.luma_bytes;
  if (frame.width == width && frame.height == layout.height && frame.y_stride == width &&
      frame.uv_stride == width) {
    std::memcpy(area, frame.y, layout.luma_bytes);
    std::memcpy(uv_area, frame.uv, uv_bytes);
    return;
  }
  CopyPlaneCropped(frame.y, frame.y_stride, frame.width, frame.height, area, width,
                   layout.luma_bytes, kBlackLuma);
  CopyPlaneCropped(frame.uv, frame.uv_stride, 2 * ((frame.width + 1) / 2), (frame.height + 1) / 2,
                   uv_area, width, uv_bytes, kBlackChroma);
}

void WriteFrame(FrameQueue* queue, const FramePlanes& frame, uint64_t timestamp) {
  FrameQueueHeader* header = queue->header;
  // Only this thread stores the counters.
  const uint32_t n = header->write_index + 1;
  std::atomic_ref<uint32_t>(header->write_index).store(n, std::memory_order_relaxed);
  // Keeps write_index ahead of the slot's bytes for a reader checking it.
  std::atomic_thread_fence(std::memory_order_release);
  const uint32_t k = n % kFrameQueueSlots;
  queue->slot_header[k]->timestamp = timestamp;
  CopyFrameToSlot(frame, queue->layout, queue->slot_data[k]);
  StoreRelease(header->read_index, n);
  StoreRelease(header->state, kFrameQueueWritten);
}
