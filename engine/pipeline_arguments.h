// How the pipeline exports read their callers' arguments: the JPEG rule, the
// UDP port range, the caps that leave the camera, the camera choice and the
// window hand-over to a video sink. Caller's thread only; touches no slot.
#pragma once

#include <gst/gst.h>

#include <cstdint>

// The JPEG rule: "jpeg" anywhere in the media type, case-sensitive; a null
// media type stands for "video/x-raw" and is not JPEG.
bool IsJpegMediaType(const char* media_type);

// True for a UDP port that can be sent to or received on: 1 to 65535. The
// network elements would silently use their default port for a value outside
// their range.
bool IsUdpPort(int32_t port);

// True when text can name caps (a letter, then letters, digits or "/-_.:+").
bool IsCapsName(const char* text);

// Caps for the link that leaves the camera: media type (null: "video/x-raw"),
// "width", "height" and "framerate" framerate/framerate_den, a denominator
// below 1 taken as 1. nullptr when width, height or framerate is below 1, or
// when the media type cannot name caps.
GstCaps* MakeSourceCaps(const char* media_type, int32_t width, int32_t height, int32_t framerate,
                        int32_t framerate_den);

// Chooses the camera of a camera source: by "device-name" when one is given,
// else by "device-index", whatever its value.
void ChooseCamera(GstElement* source, int32_t device_index, const char* device_name);

// Gives the sink the native window to draw into; 0 gives it none.
void GiveWindowHandle(GstElement* sink, uintptr_t window_handle);
