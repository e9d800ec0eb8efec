// vantrel-camera's command line and its help text.
#include "tools/vantrel-camera/camera_options.h"

#include <cstdlib>

const char kCameraUsage[] =
    "usage: vantrel-camera [--v4l2 /dev/videoN] [--size WxH] [--name REGION]\n"
    "\n"
    "Publishes the Vantrel frame queue \"vantrelVirtualCamVideo\" as a camera that\n"
    "other programs on this computer can pick.\n"
    "\n"
    "Outputs:\n"
    "  (default)          a PipeWire camera: node \"vantrel-camera\", shown as\n"
    "                     \"Vantrel Camera\" (media class Video/Source, role Camera),\n"
    "                     NV12. Browsers see it through the camera portal, OBS as a\n"
    "                     PipeWire camera source; check with: pw-cli ls Node\n"
    "  --v4l2 /dev/videoN a v4l2loopback output device, written as YUYV (4:2:2),\n"
    "                     the format every webcam offers and every V4L2 program\n"
    "                     reads. Load the module first, for example:\n"
    "                       sudo modprobe v4l2loopback exclusive_caps=1 video_nr=10 \\\n"
    "                            card_label=\"Vantrel Camera\"\n"
    "                     and run: vantrel-camera --v4l2 /dev/video10\n"
    "\n"
    "Options:\n"
    "  --size WxH         the camera's size for its whole life (even numbers,\n"
    "                     16x16 to 8192x8192). Without it the camera appears when\n"
    "                     the first session starts and keeps that session's size.\n"
    "  --name REGION      read another frame queue (for tests).\n"
    "  --help             this text.\n"
    "\n"
    "Behaviour: start it before or after the client. It waits for the frame\n"
    "queue, follows each session from its start to its end and picks up the next\n"
    "one without a restart. It never stalls: it delivers a picture every frame\n"
    "interval of the queue (30 per second), repeating the newest frame when none\n"
    "came, and shows a dark grey placeholder between sessions (also when the\n"
    "writer has died). A session of another size is scaled into the camera's size\n"
    "with its aspect ratio kept (black bars). Ends on Ctrl+C or SIGTERM; exits\n"
    "with 1 and one line on stderr when the output cannot be opened or fails.\n";

namespace {

constexpr uint32_t kSmallestSide = 16;
constexpr uint32_t kLargestSide = 8192;

std::optional<uint32_t> ParseSide(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

std::optional<PictureSize> ParseSize(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto width = ParseSide(text.substr(0, x));
  const auto height = ParseSide(text.substr(x + 1));
  if (!width || !height) return std::nullopt;
  for (uint32_t side : {*width, *height}) {
    if (side < kSmallestSide || side > kLargestSide || side % 2) return std::nullopt;
  }
  return PictureSize{*width, *height};
}

}  // namespace

std::optional<CameraOptions> ParseCameraOptions(const std::vector<std::string>& args, std::string& error) {
  CameraOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      error.clear();
      return std::nullopt;
    }
    if (flag != "--v4l2" && flag != "--size" && flag != "--name") {
      error = "unknown argument: " + flag + " (see --help)";
      return std::nullopt;
    }
    if (i + 1 == args.size() || args[i + 1].empty()) {
      error = flag + " wants a value (see --help)";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (flag == "--v4l2") {
      options.v4l2_device = value;
    } else if (flag == "--size") {
      options.size = ParseSize(value);
      if (!options.size) {
        error = "--size wants WxH with even sides from 16 to 8192, not " + value;
        return std::nullopt;
      }
    } else {
      options.region_name = value;
    }
  }
  return options;
}
