// The frame queue's writer core: region creation and close, and the copy of
// one frame into the next slot. Per frame: no allocation, no system call.
#include "engine/frame_queue_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

// Copies `rows` rows of `row_bytes` from a plane with `stride` into an area of
// `area_bytes` with rows of `area_stride`, cropping, and fills the rest.
void CopyPlaneCropped(const uint8_t* plane, uint32_t stride, uint32_t row_bytes, uint32_t rows, uint8_t* area,
                      uint32_t area_stride, uint32_t area_bytes, uint8_t fill) {
  if (area_stride == 0) return;
  uint32_t row = 0;
  for (uint32_t offset = 0; offset < area_bytes; offset += area_stride, ++row) {
    const uint32_t room = std::min(area_stride, area_bytes - offset);
    const uint32_t copied = row < rows ? std::min(room, row_bytes) : 0;
    if (copied) std::memcpy(area + offset, plane + static_cast<size_t>(row) * stride, copied);
    std::memset(area + offset + copied, fill, room - copied);
  }
}

}  // namespace

QueueCreateResult FrameQueueWriterCreate(FrameQueueWriter& writer, int32_t width, int32_t height,
                                         const char* region_name) {
  writer = FrameQueueWriter{};
  const auto layout = ComputeFrameQueueLayout(width, height);
  if (!layout || !FrameSizeAllowed(width, height)) return QueueCreateResult::SizeRefused;
  platform::SharedRegion region;
  switch (platform::CreateSharedRegion(region_name, layout->region_bytes, region)) {
    case platform::RegionCreate::Created:
      break;
    case platform::RegionCreate::Exists:
      return QueueCreateResult::Exists;
    case platform::RegionCreate::NoMemory:
      return QueueCreateResult::NoMemory;
    case platform::RegionCreate::Failed:
      return QueueCreateResult::Failed;
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

  writer.mapping = std::move(region);
  writer.header = header;
  for (uint32_t k = 0; k < kFrameQueueSlots; ++k) {
    writer.slot_header[k] = reinterpret_cast<FrameSlotHeader*>(view + layout->slot_offset[k]);
    writer.slot_data[k] = view + layout->slot_offset[k] + kFrameSlotHeaderBytes;
  }
  writer.is_writer = true;
  writer.layout = *layout;
  return QueueCreateResult::Created;
}

const char* FrameQueueCreateText(QueueCreateResult result) {
  switch (result) {
    case QueueCreateResult::Created:
      return "frame queue made";
    case QueueCreateResult::Exists:
      return "another writer holds the frame queue";
    case QueueCreateResult::SizeRefused:
      return "the frame size is not one of 0 to 8192 on each side, 35651584 pixels at most";
    case QueueCreateResult::NoMemory:
      return "the system's shared memory (/dev/shm) is too full to hold the frame queue";
    case QueueCreateResult::Failed:
      return "the system refused to make the frame queue";
  }
  return "";
}

void FrameQueueWriterClose(FrameQueueWriter& writer) {
  if (!writer.header) return;
  if (writer.is_writer) StoreRelease(writer.header->state, kFrameQueueClosed);
  platform::CloseSharedRegion(writer.mapping);
  writer = FrameQueueWriter{};
}

void CopyFrameToSlot(const FramePlanes& frame, const FrameQueueLayout& layout, uint8_t* area) {
  const uint32_t width = layout.width;
  const uint32_t uv_bytes = layout.frame_bytes - layout.luma_bytes;
  uint8_t* uv_area = area + layout.luma_bytes;
  if (frame.width == width && frame.height == layout.height && frame.y_stride == width && frame.uv_stride == width) {
    std::memcpy(area, frame.y, layout.luma_bytes);
    std::memcpy(uv_area, frame.uv, uv_bytes);
    return;
  }
  CopyPlaneCropped(frame.y, frame.y_stride, frame.width, frame.height, area, width, layout.luma_bytes, kBlackLuma);
  CopyPlaneCropped(frame.uv, frame.uv_stride, 2 * ((frame.width + 1) / 2), (frame.height + 1) / 2, uv_area, width,
                   uv_bytes, kBlackChroma);
}

void WriteFrame(FrameQueueWriter* queue, const FramePlanes& frame, uint64_t timestamp) {
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
