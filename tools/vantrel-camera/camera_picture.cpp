// vantrel-camera's pixels and clock.
#include "tools/vantrel-camera/camera_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::optional<PictureSize> CameraSizeOf(PictureSize session) {
  const PictureSize even{session.width & ~1u, session.height & ~1u};
  for (uint32_t side : {even.width, even.height}) {
    if (side < 16 || side > 8192) return std::nullopt;
  }
  return even;
}

PictureRect LetterboxRect(PictureSize source, PictureSize target) {
  if (!source.width || !source.height) return {0, 0, 0, 0};
  // Compare source.width / source.height with target.width / target.height.
  const uint64_t wide = uint64_t{source.width} * target.height;
  const uint64_t tall = uint64_t{target.width} * source.height;
  uint32_t width = target.width, height = target.height;
  if (wide > tall) {
    height = static_cast<uint32_t>((uint64_t{target.width} * source.height) / source.width);
  } else if (wide < tall) {
    width = static_cast<uint32_t>((uint64_t{target.height} * source.width) / source.height);
  }
  width = std::max(width & ~1u, 2u);
  height = std::max(height & ~1u, 2u);
  return {((target.width - width) / 2) & ~1u, ((target.height - height) / 2) & ~1u, width, height};
}

void FillPlaceholder(uint8_t* target, PictureSize size) {
  const size_t luma = size_t{size.width} * size.height;
  std::memset(target, kPlaceholderLuma, luma);
  std::memset(target + luma, kNeutralChroma, luma / 2);
}

void LetterboxNv12(const Nv12View& source, uint8_t* target, PictureSize target_size) {
  const size_t luma = size_t{target_size.width} * target_size.height;
  std::memset(target, kBlackLuma, luma);
  std::memset(target + luma, kNeutralChroma, luma / 2);
  const PictureRect rect = LetterboxRect({source.width, source.height}, target_size);
  if (!rect.width || source.bytes < size_t{source.width} * source.height) return;

  // Source column of each target column of the rectangle.
  std::vector<uint32_t> column(rect.width);
  for (uint32_t x = 0; x < rect.width; ++x) {
    column[x] = static_cast<uint32_t>((uint64_t{x} * source.width) / rect.width);
  }
  for (uint32_t y = 0; y < rect.height; ++y) {
    const uint32_t sy = static_cast<uint32_t>((uint64_t{y} * source.height) / rect.height);
    const uint8_t* in = source.data + size_t{sy} * source.width;
    uint8_t* out = target + size_t{rect.y + y} * target_size.width + rect.x;
    for (uint32_t x = 0; x < rect.width; ++x) out[x] = in[column[x]];
  }
  // Chroma: one U,V pair per 2x2 block; only whole pairs inside the source.
  const size_t source_luma = size_t{source.width} * source.height;
  const uint8_t* source_uv = source.data + source_luma;
  const size_t uv_bytes = source.bytes - source_luma;
  uint8_t* target_uv = target + luma;
  for (uint32_t y = 0; y < rect.height / 2; ++y) {
    const uint32_t sy = static_cast<uint32_t>((uint64_t{y} * 2 * source.height) / rect.height) / 2;
    uint8_t* out = target_uv + size_t{rect.y / 2 + y} * target_size.width + rect.x;
    for (size_t x = 0; x < rect.width / 2; ++x) {
      const size_t at = size_t{sy} * source.width + (column[2 * x] & ~1u);
      if (at + 1 >= uv_bytes || (column[2 * x] | 1u) >= source.width) continue;
      out[2 * x] = source_uv[at];
      out[2 * x + 1] = source_uv[at + 1];
    }
  }
}

void Nv12ToYuyv(const uint8_t* nv12, PictureSize size, uint8_t* yuyv) {
  const uint8_t* uv_plane = nv12 + size_t{size.width} * size.height;
  for (uint32_t y = 0; y < size.height; ++y) {
    const uint8_t* luma = nv12 + size_t{y} * size.width;
    const uint8_t* uv = uv_plane + size_t{y / 2} * size.width;
    uint8_t* out = yuyv + size_t{y} * size.width * 2;
    for (size_t x = 0; x < size.width; x += 2) {
      out[2 * x] = luma[x];
      out[2 * x + 1] = uv[x];
      out[2 * x + 2] = luma[x + 1];
      out[2 * x + 3] = uv[x + 1];
    }
  }
}

void Pacer::Ticked(Clock::time_point now) {
  next_ += interval_;
  if (next_ < now) next_ = now + interval_;
}

std::chrono::nanoseconds OutputInterval(uint64_t frame_interval) {
  constexpr uint64_t kFastest = 10'000, kSlowest = 10'000'000;  // 1000 and 1 per second
  if (frame_interval < kFastest || frame_interval > kSlowest) frame_interval = kFrameInterval;
  return std::chrono::nanoseconds(frame_interval * 100);
}
