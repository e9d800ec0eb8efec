// The v4l2loopback output: checks that the device is a loopback output, sets
// YUYV of the camera's size once, and writes one converted picture per tick.
// Owns the device's descriptor; nothing else.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/vantrel-camera/camera_output.h"

namespace {

constexpr char kLoadHint[] =
    "load it with: sudo modprobe v4l2loopback exclusive_caps=1 video_nr=10 card_label=\"Vantrel Camera\" "
    "and pass --v4l2 /dev/video10";

int Ioctl(int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = ioctl(fd, request, argument);
  } while (result != 0 && errno == EINTR);
  return result;
}

class V4l2Output final : public CameraOutput {
 public:
  V4l2Output(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~V4l2Output() override { close(fd_); }

  bool Start(PictureSize size, std::chrono::nanoseconds interval, std::string& error) override {
    size_ = size;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix.width = size.width;
    format.fmt.pix.height = size.height;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    format.fmt.pix.bytesperline = size.width * 2;
    format.fmt.pix.sizeimage = size.width * size.height * 2;
    format.fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    if (Ioctl(fd_, VIDIOC_S_FMT, &format) != 0) {
      error = path_ + " refused YUYV " + std::to_string(size.width) + "x" + std::to_string(size.height) + ": " +
              std::strerror(errno) + " (is another program writing to it?)";
      return false;
    }
    if (format.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV || format.fmt.pix.width != size.width ||
        format.fmt.pix.height != size.height) {
      error = path_ + " does not take YUYV " + std::to_string(size.width) + "x" + std::to_string(size.height);
      return false;
    }
    // The rate consumers are told; a device that ignores it still gets the pictures on time.
    v4l2_streamparm rate{};
    rate.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    rate.parm.output.timeperframe = {static_cast<uint32_t>(interval.count() / 100), 10'000'000};
    Ioctl(fd_, VIDIOC_S_PARM, &rate);
    yuyv_.resize(size_t{size.width} * size.height * 2);
    return true;
  }

  bool Publish(const Picture& picture, std::string& error) override {
    Nv12ToYuyv(picture->data(), size_, yuyv_.data());
    size_t written = 0;
    while (written < yuyv_.size()) {
      const ssize_t n = write(fd_, yuyv_.data() + written, yuyv_.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = "writing to " + path_ + " failed: " + std::strerror(errno);
        return false;
      }
      written += static_cast<size_t>(n);
    }
    return true;
  }

  std::string Where() const override { return path_ + " (v4l2loopback)"; }

 private:
  int fd_;
  std::string path_;
  PictureSize size_;
  std::vector<uint8_t> yuyv_;
};

}  // namespace

std::unique_ptr<CameraOutput> OpenV4l2Output(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno) +
            (errno == ENOENT ? std::string("; v4l2loopback is not loaded: ") + kLoadHint
                             : std::string(" (are you in the video group?)"));
    return nullptr;
  }
  v4l2_capability caps{};
  const bool queried = Ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
  const uint32_t device_caps = caps.capabilities & V4L2_CAP_DEVICE_CAPS ? caps.device_caps : caps.capabilities;
  const std::string driver = queried ? reinterpret_cast<const char*>(caps.driver) : "";
  if (!queried || driver != "v4l2 loopback" || !(device_caps & V4L2_CAP_VIDEO_OUTPUT)) {
    close(fd);
    // With exclusive_caps=1 a loopback device offers output only while no
    // other program writes to it.
    const char* why = !queried                    ? " (not a video device)"
                      : driver == "v4l2 loopback" ? " (another program is writing to it)"
                                                  : nullptr;
    error = path + " is not a v4l2loopback output device" + (why ? std::string(why) : " (driver \"" + driver + "\")") +
            "; " + kLoadHint;
    return nullptr;
  }
  return std::make_unique<V4l2Output>(fd, path);
}
