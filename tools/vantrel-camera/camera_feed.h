// vantrel-camera's view of the frame queue: opens the region when it appears,
// follows its session (state 1, 2, 3), notices a dead writer, a region that
// shrank or is not a frame queue, and gives each output tick the newest frame
// or nothing to show. Recycles its frame buffers. Runs on the camera's one
// loop thread; frames it hands out may be released on any thread. Reads the
// region only, through FrameQueueReader.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/frame_queue_reader.h"
#include "tools/vantrel-camera/camera_options.h"

using Frame = FrameQueueReader::Frame;

// Frames whose storage goes back to the pool when the last user lets go, so
// that a steady stream allocates nothing per frame.
class FramePool {
 public:
  std::shared_ptr<Frame> Take();

 private:
  struct Shelf {
    std::mutex mutex;
    std::vector<std::unique_ptr<Frame>> frames;
  };
  std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};

class CameraFeed {
 public:
  using Notice = std::function<void(const std::string&)>;
  CameraFeed(std::string region_name, Notice notice);

  struct Step {
    enum Kind {
      kNothing,   // no session, or a session with no frame to show
      kNewFrame,  // `frame` came since the last step
      kRepeat,    // `frame` is the one of the last step
    } kind = kNothing;
    std::shared_ptr<const Frame> frame;
    PictureSize size;             // of the frames; zero without a session
    uint64_t frame_interval = 0;  // the session's, zero without a session
  };
  // Looks at the frame queue once; called once per output tick.
  Step Poll();

 private:
  enum class Seen { kNothing, kSession, kEmptySession, kEnded, kWriterGone, kShrunk, kForeign };
  void Report(Seen seen, const std::string& text);
  void Drop(Seen why, const std::string& text);
  Step TryOpen();
  Step ReadSession();

  std::string region_name_;
  Notice notice_;
  FrameQueueReader reader_;
  FramePool pool_;
  Seen seen_ = Seen::kNothing;
  int polls_until_open_ = 0;
  int foreign_sightings_ = 0;
  std::shared_ptr<const Frame> newest_;
};
