// Pieces the three "kxpcbox" pipeline families share: the camera source
// chain (camera preview and camera stream-out), the window hand-over of the
// video sink and the teardown of a chain. Caller's thread only.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <initializer_list>

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

// Chooses the camera on the source slot (device-name when given, else
// device-index) and links source [-> decoder] -> converter (to_converter
// non-zero) or encoder, the first link filtered by MakeSourceCaps when it
// makes caps. Whether there is a decoder is told by the decoder slot alone.
void LinkSourceChain(int32_t device_index, const char* device_name, const char* media_type, int32_t width,
                     int32_t height, int32_t framerate, int32_t framerate_den, int to_converter);

// Gives the sink the native window to draw into; 0 gives it none.
void GiveWindowHandle(GstElement* sink, uintptr_t window_handle);

// Unlinks the chain pair by pair from the sink end back to the source and
// takes its elements out of the pipeline; chain is in source-to-sink order.
void DismantleChain(std::initializer_list<GstElement*> chain);
