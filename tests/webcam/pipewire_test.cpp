// vantrel-camera as a PipeWire camera, against a real PipeWire daemon of the
// test's own: the node and its names, the engine's frames from real
// RTP/H.264 in their colour, the placeholder between sessions, a second
// session of another size letterboxed, a writer killed with SIGKILL; the
// program's one-line errors; and the v4l2loopback output where a device exists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <cstring>
#include <memory>

#include "engine/frame_queue.h"
#include "engine/strova.h"
#include "tests/support/free_port.h"
#include "tests/webcam/webcam_support.h"
#include "tools/vantrel-camera/camera_picture.h"

namespace {

using namespace webcamtest;
using namespace std::chrono_literals;

const std::string kCamera = std::string(VANTREL_BIN_DIR) + "vantrel-camera";

struct Colour {
  int y, u, v;
};

// A solid colour as NV12 values, converted the way the engine's chain does.
Colour ColourOf(uint32_t argb) {
  const std::string description =
      "videotestsrc num-buffers=1 pattern=solid-color foreground-color=" + std::to_string(argb) +
      " ! video/x-raw,format=I420,width=16,height=16 ! videoconvert ! video/x-raw,format=NV12 ! appsink name=out";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  Colour colour{0, 0, 0};
  if (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
    GstMapInfo map;
    gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
    colour = {map.data[0], map.data[256], map.data[257]};  // Y, then U and V after the 16x16 luma
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  return colour;
}

// A device's video: a solid colour as RTP/H.264 to 127.0.0.1:port.
class ColourSender {
 public:
  ColourSender(int port, int width, int height, uint32_t argb) {
    const std::string description =
        "videotestsrc is-live=true pattern=solid-color foreground-color=" + std::to_string(argb) +
        " ! video/x-raw,format=I420,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
        ",framerate=30/1 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=5 ! "
        "rtph264pay pt=96 config-interval=-1 ! udpsink host=127.0.0.1 port=" +
        std::to_string(port);
    pipeline_ = gst_parse_launch(description.c_str(), nullptr);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
  }
  ~ColourSender() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }

 private:
  GstElement* pipeline_;
};

bool Near(const Seen& seen, int x, int y, Colour c, int tolerance = 10) {
  return std::abs(seen.Y(x, y) - c.y) <= tolerance && std::abs(seen.U(x, y) - c.u) <= tolerance &&
         std::abs(seen.V(x, y) - c.v) <= tolerance;
}
bool IsPlaceholder(const Seen& seen) {
  return Near(seen, seen.width / 2, seen.height / 2, {kPlaceholderLuma, kNeutralChroma, kNeutralChroma}, 0) &&
         Near(seen, 0, 0, {kPlaceholderLuma, kNeutralChroma, kNeutralChroma}, 0);
}
const Colour kBlack{kBlackLuma, kNeutralChroma, kNeutralChroma};

std::string Nodes() { return Run("pw-cli ls Node 2>&1"); }

class WebcamPipeWire : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_ = std::make_unique<PipeWireDaemon>();
    ASSERT_TRUE(daemon_->Ready()) << daemon_->Log();
    gst_init(nullptr, nullptr);
  }
  void TearDown() override { daemon_.reset(); }
  std::unique_ptr<Child> StartCamera(std::vector<std::string> args) {
    args.insert(args.begin(), kCamera);
    auto camera = std::make_unique<Child>(args, CameraLog());
    EXPECT_TRUE(WaitUntil([] { return Nodes().find("\"vantrel-camera\"") != std::string::npos; }, 15s))
        << ReadFile(CameraLog());
    return camera;
  }
  std::string CameraLog() const { return daemon_->Runtime() + "/camera.log"; }
  std::unique_ptr<PipeWireDaemon> daemon_;
};

TEST_F(WebcamPipeWire, EngineSessionsReachTheConsumerAsOneCamera) {
  const Colour blue = ColourOf(0xff2050e0), orange = ColourOf(0xffe0a020);
  ASSERT_EQ(strova_init(1), 1);
  const int port = testsupport::FreeUdpPort();
  ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 1);
  auto sender = std::make_unique<ColourSender>(port, 320, 240, 0xff2050e0);

  // Started after the client: the first session gives the camera its size.
  auto camera = StartCamera({});
  const std::string nodes = Nodes();
  EXPECT_NE(nodes.find("node.description = \"Vantrel Camera\""), std::string::npos) << nodes;
  EXPECT_NE(nodes.find("media.class = \"Video/Source\""), std::string::npos) << nodes;
  EXPECT_NE(nodes.find("media.role = \"Camera\""), std::string::npos) << nodes;

  auto consumer_owner = std::make_unique<Consumer>();
  Consumer& consumer = *consumer_owner;
  Seen seen = consumer.Until([&](const Seen& s) { return Near(s, 160, 120, blue); }, 15s);
  ASSERT_EQ(seen.width, 320) << ReadFile(CameraLog());
  ASSERT_EQ(seen.height, 240);
  EXPECT_TRUE(Near(seen, 160, 120, blue)) << seen.Y(160, 120) << " " << seen.U(160, 120) << " " << seen.V(160, 120);
  EXPECT_TRUE(Near(seen, 2, 2, blue));

  // Between sessions: the placeholder, and frames keep coming.
  EXPECT_EQ(strova_endoutput(), 1);
  sender.reset();
  seen = consumer.Until(IsPlaceholder, 5s);
  EXPECT_TRUE(IsPlaceholder(seen)) << seen.Y(160, 120);
  int frames = 0;
  for (auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
    frames += consumer.Next(500ms).width != 0;
  }
  EXPECT_GE(frames, 20) << "a camera never stalls";

  // A second session of 2:1 in the camera's 4:3: bars above and below.
  ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 480, 240, 30, 1), 1);
  sender = std::make_unique<ColourSender>(port, 480, 240, 0xffe0a020);
  seen = consumer.Until([&](const Seen& s) { return Near(s, 160, 120, orange); }, 15s);
  ASSERT_EQ(seen.width, 320);
  ASSERT_EQ(seen.height, 240);
  EXPECT_TRUE(Near(seen, 160, 120, orange));
  EXPECT_TRUE(Near(seen, 160, 10, kBlack, 0)) << "top bar: " << seen.Y(160, 10);
  EXPECT_TRUE(Near(seen, 160, 230, kBlack, 0)) << "bottom bar: " << seen.Y(160, 230);
  EXPECT_TRUE(Near(seen, 2, 60, orange)) << "the picture spans the width";
  EXPECT_EQ(strova_endoutput(), 1);
  sender.reset();
  consumer_owner.reset();  // before gst_deinit, which waits for its thread
  strova_release();

  EXPECT_EQ(camera->Terminate(), 0) << "a clean end on SIGTERM";
  const std::string log = ReadFile(CameraLog());
  EXPECT_NE(log.find("camera of 320x240 at PipeWire node \"vantrel-camera\""), std::string::npos) << log;
  EXPECT_NE(log.find("session started: 480x240"), std::string::npos) << log;
  EXPECT_TRUE(WaitUntil([] { return Nodes().find("\"vantrel-camera\"") == std::string::npos; }, 5s))
      << "the node goes with the program";
}

// A frame-queue writer in a child process, writing one colour at 30 frames a
// second until it is killed.
pid_t StartWriter(const std::string& name, uint32_t width, uint32_t height, Colour c) {
  const pid_t child = fork();
  if (child != 0) return child;
  FrameQueue* queue = FrameQueueCreate(static_cast<int32_t>(width), static_cast<int32_t>(height), name.c_str());
  if (!queue) _exit(1);
  const FrameQueueLayout& l = queue->layout;
  std::vector<uint8_t> frame(l.frame_bytes, static_cast<uint8_t>(c.y));
  for (size_t i = l.luma_bytes; i < frame.size(); ++i)
    frame[i] = static_cast<uint8_t>((i - l.luma_bytes) % 2 ? c.v : c.u);
  for (;;) {
    WriteFrame(queue, {frame.data(), frame.data() + l.luma_bytes, l.width, l.width, l.width, l.height}, 0);
    usleep(33'000);
  }
}

TEST_F(WebcamPipeWire, AWriterKilledWithSigkillGivesThePlaceholderAndTheNextWriterIsShown) {
  const std::string name = "vantrelWebcamTest-" + std::to_string(getpid());
  const Colour green{150, 60, 70};
  // Started before any session, with its size given: 4:3 frames in 16:9.
  auto camera = StartCamera({"--size", "640x360", "--name", name});
  Consumer consumer;
  Seen seen = consumer.Until(IsPlaceholder, 10s);
  ASSERT_EQ(seen.width, 640) << ReadFile(CameraLog());
  EXPECT_TRUE(IsPlaceholder(seen));

  pid_t writer = StartWriter(name, 320, 240, green);
  seen = consumer.Until([&](const Seen& s) { return Near(s, 320, 180, green, 0); }, 10s);
  EXPECT_TRUE(Near(seen, 320, 180, green, 0));
  EXPECT_TRUE(Near(seen, 10, 180, kBlack, 0)) << "left bar";
  EXPECT_TRUE(Near(seen, 630, 180, kBlack, 0)) << "right bar";
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  seen = consumer.Until(IsPlaceholder, 5s);
  EXPECT_TRUE(IsPlaceholder(seen));

  writer = StartWriter(name, 640, 360, green);
  seen = consumer.Until([&](const Seen& s) { return Near(s, 10, 180, green, 0); }, 10s);
  EXPECT_TRUE(Near(seen, 10, 180, green, 0)) << "a session of the camera's size fills it";
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  shm_unlink(("/" + name).c_str());
  EXPECT_NE(ReadFile(CameraLog()).find("has gone"), std::string::npos) << ReadFile(CameraLog());
}

// The path of a v4l2loopback device, or empty.
std::string LoopbackDevice() {
  for (int n = 0; n < 64; ++n) {
    std::string path = "/dev/video" + std::to_string(n);
    const int fd = open(path.c_str(), O_RDWR);
    if (fd < 0) continue;
    v4l2_capability caps{};
    const bool loopback = ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0 &&
                          std::strcmp(reinterpret_cast<const char*>(caps.driver), "v4l2 loopback") == 0;
    close(fd);
    if (loopback) return path;
  }
  return {};
}

TEST(WebcamErrors, OneClearLineAndExitCodeOne) {
  char folder[] = "/tmp/vantrel-nopw-XXXXXX";
  const std::string empty = mkdtemp(folder);
  setenv("XDG_RUNTIME_DIR", empty.c_str(), 1);
  unsetenv("PIPEWIRE_REMOTE");
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "no PipeWire daemon answers at "},
      {{"--v4l2", "/dev/video-vantrel-none"},
       "v4l2loopback is not loaded: load it with: sudo modprobe v4l2loopback exclusive_caps=1"},
      {{"--v4l2", "/dev/null"}, "/dev/null is not a v4l2loopback output device (not a video device); load it with"},
      {{"--size", "0x0"}, "--size wants WxH with even sides"},
      {{"--frames"}, "unknown argument: --frames"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), kCamera);
    const std::string log = empty + "/out.log";
    Child camera(args, log);
    EXPECT_EQ(camera.Wait(10s), 1) << c.says;
    const std::string out = ReadFile(log);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.rfind("vantrel-camera: ", 0), 0u) << out;
  }
  Child help({kCamera, "--help"}, empty + "/help.log");
  EXPECT_EQ(help.Wait(10s), 0);
  const std::string text = ReadFile(empty + "/help.log");
  for (const char* part : {"--v4l2", "--size", "exclusive_caps=1", "Vantrel Camera", "YUYV", "placeholder"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  std::system(("rm -rf '" + empty + "'").c_str());
}

TEST(WebcamV4l2, FramesReachALoopbackDevice) {
  const std::string device = LoopbackDevice();
  if (device.empty()) {
    GTEST_SKIP() << "no v4l2loopback device here (needs: modprobe v4l2loopback exclusive_caps=1)";
  }
  gst_init(nullptr, nullptr);
  const std::string name = "vantrelWebcamTest-" + std::to_string(getpid());
  const pid_t writer = StartWriter(name, 320, 240, {150, 60, 70});
  Child camera({kCamera, "--v4l2", device, "--name", name}, "/tmp/vantrel-v4l2-camera.log");
  // A V4L2 consumer sees the camera's size and colour as YUYV.
  const std::string description =
      "v4l2src device=" + device + " num-buffers=30 ! video/x-raw,format=YUY2 ! appsink name=out sync=false";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  WaitUntil([] { return ReadFile("/tmp/vantrel-v4l2-camera.log").find("camera of") != std::string::npos; }, 10s);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  bool green = false;
  for (int i = 0; i < 30 && !green; ++i) {
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), GST_SECOND);
    if (!sample) break;
    GstMapInfo map;
    gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
    constexpr size_t kWidth = 320, kHeight = 240, kBytesPerPixel = 2;  // YUYV
    const uint8_t* centre = map.data + (kHeight / 2 * kWidth + kWidth / 2) * kBytesPerPixel;
    green = map.size >= kWidth * kHeight * kBytesPerPixel && centre[0] == 150 && centre[1] == 60 && centre[3] == 70;
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(out);
  gst_object_unref(pipeline);
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  shm_unlink(("/" + name).c_str());
  EXPECT_TRUE(green) << ReadFile("/tmp/vantrel-v4l2-camera.log");
}

}  // namespace
