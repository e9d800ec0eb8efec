// The frame-queue reader: a read-only mapping of the region and lock-free
// copies of its newest frame. Runs on its user's thread.
#include "engine/frame_queue_reader.h"

#include <cstring>

bool FrameQueueReader::Open(const char* region_name) {
  Close();
  if (!platform::OpenSharedRegion(region_name, region_)) return false;
  if (!IsCompleteFrameQueue(region_.view, region_.size)) {
    platform::CloseSharedRegion(region_);
    return false;
  }
  header_ = static_cast<const FrameQueueHeader*>(region_.view);
  layout_ = *LayoutOfHeader(*header_, region_.size);
  return true;
}

void FrameQueueReader::Close() {
  platform::CloseSharedRegion(region_);
  header_ = nullptr;
  layout_ = {};
}

bool FrameQueueReader::WriterAlive() const { return IsOpen() && platform::RegionCreatorAlive(region_); }

FrameQueueHeader FrameQueueReader::Header() const {
  FrameQueueHeader copy{};
  copy.state = LoadAcquire(header_->state);
  copy.read_index = LoadAcquire(header_->read_index);
  copy.write_index = LoadAcquire(header_->write_index);
  std::memcpy(copy.slot_offset, header_->slot_offset, sizeof copy.slot_offset);
  copy.width = header_->width;
  copy.height = header_->height;
  copy.frame_interval = header_->frame_interval;
  return copy;
}

FrameQueueReader::Copy FrameQueueReader::CopyNewestFrame(Frame& frame) const {
  const uint32_t state = LoadAcquire(header_->state);
  const uint32_t n = LoadAcquire(header_->read_index);
  const bool written =
      state == kFrameQueueWritten || (state == kFrameQueueClosed && (n != 0 || LoadAcquire(header_->write_index) != 0));
  if (!written) return Copy::NoFrame;
  const uint32_t offset = layout_.slot_offset[n % kFrameQueueSlots];
  const auto* base = static_cast<const uint8_t*>(region_.view);
  const auto* slot = reinterpret_cast<const FrameSlotHeader*>(base + offset);
  frame.index = n;
  frame.timestamp = slot->timestamp;
  frame.pixels.resize(layout_.frame_bytes);
  if (layout_.frame_bytes) std::memcpy(frame.pixels.data(), base + offset + kFrameSlotHeaderBytes, layout_.frame_bytes);
  // The writer stores write_index before it touches a slot: if it has not
  // begun the next frame for this slot, the slot was left alone during the
  // copy. That is frame n + 3, except where the counter wraps (2^32 is not a
  // multiple of 3).
  std::atomic_thread_fence(std::memory_order_acquire);
  const uint32_t begun =
      std::atomic_ref<uint32_t>(const_cast<uint32_t&>(header_->write_index)).load(std::memory_order_relaxed);
  uint32_t reuse = kFrameQueueSlots;
  for (uint32_t d = kFrameQueueSlots - 1; d >= 1; --d) {
    if ((n + d) % kFrameQueueSlots == n % kFrameQueueSlots) reuse = d;
  }
  return begun - n < reuse ? Copy::Copied : Copy::Overwritten;
}
