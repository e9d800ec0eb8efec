// vantrel-camera's picture for each output tick.
#include "tools/vantrel-camera/camera_pictures.h"

CameraPictures::CameraPictures(PictureSize camera) : camera_(camera) {
  auto placeholder = std::make_shared<std::vector<uint8_t>>(Nv12Bytes(camera));
  FillPlaceholder(placeholder->data(), camera);
  placeholder_ = std::move(placeholder);
}

Picture CameraPictures::For(const CameraFeed::Step& step) {
  switch (step.kind) {
    case CameraFeed::Step::kNothing:
      last_.reset();
      return placeholder_;
    case CameraFeed::Step::kRepeat:
      return last_ ? last_ : placeholder_;
    case CameraFeed::Step::kNewFrame:
      break;
  }
  if (step.size == camera_) {
    // The frame as the reader copied it: no second copy.
    last_ = Picture(step.frame, &step.frame->pixels);
  } else {
    std::shared_ptr<Frame> scaled = pool_.Take();
    scaled->pixels.resize(Nv12Bytes(camera_));
    const Nv12View source{step.frame->pixels.data(), step.size.width, step.size.height, step.frame->pixels.size()};
    LetterboxNv12(source, scaled->pixels.data(), camera_);
    last_ = Picture(scaled, &scaled->pixels);
  }
  return last_;
}
