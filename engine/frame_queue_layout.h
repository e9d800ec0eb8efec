// The byte layout of the shared-memory frame queue "vantrelVirtualCamVideo"
// and its size arithmetic. Readers in other processes depend on every byte
// position here. Pure data and arithmetic: no system calls, no GStreamer, so
// the writer, the reader and the tools share it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

inline constexpr char kFrameQueueName[] = "vantrelVirtualCamVideo";
inline constexpr uint32_t kFrameQueueSlots = 3;
inline constexpr uint32_t kFrameQueueHeaderBytes = 96;
inline constexpr uint32_t kFrameSlotHeaderBytes = 32;
// One frame at 30 frames per second, in units of 100 ns.
inline constexpr uint64_t kFrameInterval = 333333;

enum FrameQueueState : uint32_t {
  kFrameQueueCreated = 1,  // no frame complete yet
  kFrameQueueWritten = 2,  // stored after every frame
  kFrameQueueClosed = 3,   // the writer has closed the queue
};

// Offset 0 of the region. All fields little-endian.
struct FrameQueueHeader {
  uint32_t write_index;  // frames begun
  uint32_t read_index;   // frames complete; the newest is in slot read_index % 3
  uint32_t state;
  uint32_t slot_offset[kFrameQueueSlots];
  uint32_t reserved0;
  uint32_t width;
  uint32_t height;
  uint32_t reserved1;
  uint64_t frame_interval;
  uint8_t reserved2[48];
};
static_assert(sizeof(FrameQueueHeader) == kFrameQueueHeaderBytes);
static_assert(offsetof(FrameQueueHeader, state) == 8);
static_assert(offsetof(FrameQueueHeader, slot_offset) == 12);
static_assert(offsetof(FrameQueueHeader, width) == 28);
static_assert(offsetof(FrameQueueHeader, height) == 32);
static_assert(offsetof(FrameQueueHeader, frame_interval) == 40);

// In front of each slot's frame area.
struct FrameSlotHeader {
  uint64_t timestamp;  // buffer PTS in ns, all bits set when it had none
  uint8_t reserved[24];
};
static_assert(sizeof(FrameSlotHeader) == kFrameSlotHeaderBytes);

// Where everything lies for one frame size.
struct FrameQueueLayout {
  uint32_t width;
  uint32_t height;
  uint32_t frame_bytes;  // one NV12 frame: width * height * 3 / 2
  uint32_t luma_bytes;   // width * height, the Y plane; the UV plane follows
  uint32_t slot_offset[kFrameQueueSlots];
  uint32_t region_bytes;
};

constexpr uint64_t Align32(uint64_t x) { return (x + 31) & ~uint64_t{31}; }

// The layout for width x height; nullopt for a negative size or one whose
// arithmetic does not fit in 32 bits. A zero width or height gives empty
// frame areas (a 192-byte region).
constexpr std::optional<FrameQueueLayout> ComputeFrameQueueLayout(int64_t width, int64_t height) {
  if (width < 0 || height < 0 || width > UINT32_MAX || height > UINT32_MAX) return std::nullopt;
  const uint64_t luma = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (luma * 3 > UINT32_MAX) return std::nullopt;
  const uint64_t frame = luma * 3 / 2;
  const uint64_t offset1 = Align32(kFrameQueueHeaderBytes + kFrameSlotHeaderBytes + frame);
  const uint64_t offset2 = Align32(offset1 + kFrameSlotHeaderBytes + frame);
  const uint64_t region = Align32(offset2 + kFrameSlotHeaderBytes + frame);
  if (region > UINT32_MAX) return std::nullopt;
  return FrameQueueLayout{static_cast<uint32_t>(width),
                          static_cast<uint32_t>(height),
                          static_cast<uint32_t>(frame),
                          static_cast<uint32_t>(luma),
                          {kFrameQueueHeaderBytes, static_cast<uint32_t>(offset1), static_cast<uint32_t>(offset2)},
                          static_cast<uint32_t>(region)};
}

// The layout a header describes, when its sizes and offsets agree with the
// arithmetic and fit in a region of `region_bytes`.
constexpr std::optional<FrameQueueLayout> LayoutOfHeader(const FrameQueueHeader& header, uint64_t region_bytes) {
  const auto layout = ComputeFrameQueueLayout(header.width, header.height);
  if (!layout || layout->region_bytes > region_bytes) return std::nullopt;
  for (uint32_t k = 0; k < kFrameQueueSlots; ++k) {
    if (header.slot_offset[k] != layout->slot_offset[k]) return std::nullopt;
  }
  return layout;
}

// The counters and the state are shared with another process while it runs:
// stores are release stores, loads acquire loads.
inline uint32_t LoadAcquire(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_acquire);
}
inline void StoreRelease(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_release);
}

// True when a region of `size` bytes holds a header that its writer has
// filled in completely (the state is stored last).
inline bool IsCompleteFrameQueue(const void* view, size_t size) {
  if (size < kFrameQueueHeaderBytes) return false;
  const auto& header = *static_cast<const FrameQueueHeader*>(view);
  const uint32_t state = LoadAcquire(header.state);
  return state >= kFrameQueueCreated && state <= kFrameQueueClosed && LayoutOfHeader(header, size).has_value();
}
