// vantrel-camera's picture for each output tick, at the camera's one size:
// the newest frame as it is when its size is the camera's, else scaled into
// it (letterbox); the placeholder when there is nothing to show. Runs on the
// camera's loop thread; pictures it hands out may be released on any thread.
#pragma once

#include <memory>
#include <vector>

#include "tools/vantrel-camera/camera_feed.h"
#include "tools/vantrel-camera/camera_picture.h"

// One NV12 frame of the camera's size, shared with the output until it has
// been sent.
using Picture = std::shared_ptr<const std::vector<uint8_t>>;

class CameraPictures {
 public:
  explicit CameraPictures(PictureSize camera);
  PictureSize Size() const { return camera_; }
  Picture For(const CameraFeed::Step& step);

 private:
  PictureSize camera_;
  Picture placeholder_;
  Picture last_;
  FramePool pool_;
};
