// vantrel-camera's view of the frame queue.
#include "tools/vantrel-camera/camera_feed.h"

namespace {

// While no session is open the region is looked for every 8 ticks (about
// a quarter of a second), not on every tick.
constexpr int kPollsBetweenOpens = 8;
// A region that is not a frame queue is reported once it has been seen on
// this many looks in a row (a writer fills its header in a moment).
constexpr int kForeignSightings = 3;
constexpr size_t kFramesKept = 6;

}  // namespace

std::shared_ptr<Frame> FramePool::Take() {
  std::unique_ptr<Frame> frame;
  {
    std::lock_guard lock(shelf_->mutex);
    if (!shelf_->frames.empty()) {
      frame = std::move(shelf_->frames.back());
      shelf_->frames.pop_back();
    }
  }
  if (!frame) frame = std::make_unique<Frame>();
  return std::shared_ptr<Frame>(frame.release(), [shelf = shelf_](Frame* returned) {
    std::unique_ptr<Frame> owned(returned);
    std::lock_guard lock(shelf->mutex);
    if (shelf->frames.size() < kFramesKept) shelf->frames.push_back(std::move(owned));
  });
}

CameraFeed::CameraFeed(std::string region_name, Notice notice)
    : region_name_(std::move(region_name)), notice_(std::move(notice)) {}

void CameraFeed::Report(Seen seen, const std::string& text) {
  if (seen == seen_) return;
  seen_ = seen;
  notice_(text);
}

void CameraFeed::Drop(Seen why, const std::string& text) {
  reader_.Close();
  newest_.reset();
  Report(why, text);
}

CameraFeed::Step CameraFeed::Poll() {
  if (!reader_.IsOpen()) {
    if (polls_until_open_-- > 0) return {};
    polls_until_open_ = kPollsBetweenOpens;
    return TryOpen();
  }
  return ReadSession();
}

CameraFeed::Step CameraFeed::TryOpen() {
  if (!reader_.Open(region_name_.c_str())) {
    platform::SharedRegion region;
    const bool present = platform::OpenSharedRegion(region_name_.c_str(), region);
    platform::CloseSharedRegion(region);
    foreign_sightings_ = present ? foreign_sightings_ + 1 : 0;
    if (foreign_sightings_ >= kForeignSightings) {
      Report(Seen::kForeign, "\"" + region_name_ +
                                 "\" is not a frame queue of this layout (or a damaged one); "
                                 "waiting for the client to make a new one");
    }
    return {};
  }
  foreign_sightings_ = 0;
  // A region whose writer has died, or that was closed a moment ago, is not
  // a session; it is looked at again until a new writer replaces it.
  if (!reader_.WriterAlive() || reader_.Header().state == kFrameQueueClosed) {
    reader_.Close();
    return {};
  }
  polls_until_open_ = 0;
  const FrameQueueLayout& layout = reader_.Layout();
  if (!layout.frame_bytes) {
    Report(Seen::kEmptySession, "the session's frame queue has size " + std::to_string(layout.width) + "x" +
                                    std::to_string(layout.height) +
                                    ", which holds no picture; showing the placeholder");
  } else {
    Report(Seen::kSession, "session started: " + std::to_string(layout.width) + "x" + std::to_string(layout.height));
  }
  return ReadSession();
}

CameraFeed::Step CameraFeed::ReadSession() {
  if (!reader_.RegionIntact()) {
    Drop(Seen::kShrunk, "\"" + region_name_ + "\" shrank below its frame queue's size; left it alone");
    return {};
  }
  // Liveness first: a writer that closes in between has stored state 3 by
  // the time its lock is free.
  const bool alive = reader_.WriterAlive();
  const FrameQueueHeader header = reader_.Header();
  if (header.state == kFrameQueueClosed) {
    Drop(Seen::kEnded, "session ended; showing the placeholder until the next session");
    return {};
  }
  if (!alive) {
    Drop(Seen::kWriterGone,
         "the client's engine has gone without closing its session; "
         "showing the placeholder until the next session");
    return {};
  }
  const FrameQueueLayout& layout = reader_.Layout();
  Step step;
  step.size = {layout.width, layout.height};
  step.frame_interval = header.frame_interval;
  if (!layout.frame_bytes) return step;
  if (!newest_ || newest_->index != header.read_index) {
    // The writer may come round to the slot during a copy; the copy is made
    // again once, and otherwise the newest good frame stays.
    std::shared_ptr<Frame> frame = pool_.Take();
    for (int attempt = 0; attempt < 2; ++attempt) {
      const FrameQueueReader::Copy copy = reader_.CopyNewestFrame(*frame);
      if (copy == FrameQueueReader::Copy::NoFrame) return step;
      if (copy == FrameQueueReader::Copy::Copied) {
        newest_ = std::move(frame);
        step.kind = Step::kNewFrame;
        step.frame = newest_;
        return step;
      }
    }
  }
  if (newest_) {
    step.kind = Step::kRepeat;
    step.frame = newest_;
  }
  return step;
}
