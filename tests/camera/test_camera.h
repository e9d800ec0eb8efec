// A test camera registered as "mfvideosrc" before strova_init, so the engine
// makes it instead of the stand-in. It knows two cameras, like a PC with two
// devices: index 0 (or any negative index) / "Raw Test Camera" gives NV12
// SMPTE bars, index 1 / "JPEG Test Camera" gives the same bars as JPEG.
// Any other choice posts "No such test camera" on the bus when opened.
// The pattern element inside is named "pattern" (a live videotestsrc).
#pragma once

#include <gst/gst.h>

namespace testcamera {

constexpr const char* kRawName = "Raw Test Camera";
constexpr const char* kJpegName = "JPEG Test Camera";

// gst_init, then registers the test camera under "mfvideosrc".
void Register();

// The pattern element of the test camera opened last (a new reference), or
// nullptr; lets a benchmark change what the camera shows while it runs.
GstElement* LatestPattern();

// The SMPTE bars along the top of the picture, left to right, as 8-bit RGB.
struct Rgb {
  int r, g, b;
};
constexpr Rgb kBars[7] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255}};

}  // namespace testcamera
