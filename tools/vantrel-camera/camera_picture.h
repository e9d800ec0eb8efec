// vantrel-camera's pixels and clock: the camera's size, the letterbox, the
// placeholder, NV12 to YUYV, and the pacing of the output. Shared by the
// PipeWire and the v4l2 outputs. Pure functions over caller-owned memory;
// any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "tools/vantrel-camera/camera_options.h"

// Plain black where a picture does not reach (letterbox bars); the
// placeholder between sessions is a dark grey, so the two can be told apart.
inline constexpr uint8_t kBlackLuma = 16;
inline constexpr uint8_t kPlaceholderLuma = 40;
inline constexpr uint8_t kNeutralChroma = 128;

// An NV12 frame as the frame queue holds it: `bytes` = width * height * 3 / 2
// (the last UV row is cut short when the height is odd).
struct Nv12View {
  const uint8_t* data;
  uint32_t width;
  uint32_t height;
  size_t bytes;
};

// The camera's size for a session of `session` when none was given: the
// session's size rounded down to even sides; nullopt for sides below 16 or
// above 8192 (no camera can be made of those).
std::optional<PictureSize> CameraSizeOf(PictureSize session);

inline size_t Nv12Bytes(PictureSize size) { return size_t{size.width} * size.height * 3 / 2; }

// Where a picture of `source` lies inside `target` when scaled with its aspect
// ratio kept and centred; position and size are even.
struct PictureRect {
  uint32_t x, y, width, height;
  bool operator==(const PictureRect&) const = default;
};
PictureRect LetterboxRect(PictureSize source, PictureSize target);

// Scales `source` into the NV12 frame `target` (even sides, Nv12Bytes of it)
// inside LetterboxRect, black around it. Nearest sample; reads only inside
// source.bytes.
void LetterboxNv12(const Nv12View& source, uint8_t* target, PictureSize target_size);

// Fills an NV12 frame of `size` with the placeholder.
void FillPlaceholder(uint8_t* target, PictureSize size);

// NV12 (even sides) to packed YUYV, 2 * width bytes a row.
void Nv12ToYuyv(const uint8_t* nv12, PictureSize size, uint8_t* yuyv);

// The output's clock: one tick each `interval`. A tick that comes late is
// followed by the next one `interval` later, never by a burst of make-up
// ticks.
class Pacer {
 public:
  using Clock = std::chrono::steady_clock;
  Pacer(Clock::time_point start, Clock::duration interval) : next_(start), interval_(interval) {}
  // When the next tick is due.
  Clock::time_point Due() const { return next_; }
  // Marks the tick due at Due() as done at `now`.
  void Ticked(Clock::time_point now);

 private:
  Clock::time_point next_;
  Clock::duration interval_;
};

// The queue's frame_interval (100 ns units) as a duration; the usual 30 frames
// per second for a value outside 1..1000 frames per second.
std::chrono::nanoseconds OutputInterval(uint64_t frame_interval);
