// vantrel-camera's two outputs behind one face: a PipeWire camera node made
// by GStreamer's pipewiresink, and a v4l2loopback output device. Each is
// opened first (so that a missing daemon or device is reported at once),
// started once the camera's size is known, and given one picture per tick.
// All calls on the camera's loop thread; the PipeWire output's streaming
// thread only sends the pictures it was given.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "tools/vantrel-camera/camera_pictures.h"

class CameraOutput {
 public:
  virtual ~CameraOutput() = default;
  // Fixes the size and rate for the output's lifetime; false with `error`.
  virtual bool Start(PictureSize size, std::chrono::nanoseconds interval, std::string& error) = 0;
  // Sends one picture of the started size; false with `error` once the output
  // has failed.
  virtual bool Publish(const Picture& picture, std::string& error) = 0;
  // Where users find the camera.
  virtual std::string Where() const = 0;
};

// Needs gst_init. nullptr with `error` when no PipeWire daemon answers.
std::unique_ptr<CameraOutput> OpenPipeWireOutput(std::string& error);
// nullptr with `error` when `path` is no v4l2loopback output device.
std::unique_ptr<CameraOutput> OpenV4l2Output(const std::string& path, std::string& error);

// The node's names, as consumers look for them.
inline constexpr char kCameraNodeName[] = "vantrel-camera";
inline constexpr char kCameraDescription[] = "Vantrel Camera";
