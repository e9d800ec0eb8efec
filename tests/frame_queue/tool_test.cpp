// vantrel-framequeue: its command line, report and pictures, and the program
// itself watching a region that a real videotestsrc pipeline fills.
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "engine/frame_queue.h"
#include "tests/frame_queue/frame_queue_support.h"
#include "tools/vantrel-framequeue/framequeue_watch.h"

namespace {

TEST(FrameQueueTool, Options) {
  std::string error;
  const auto defaults = ParseWatchOptions({}, error);
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->seconds, 5);
  EXPECT_EQ(defaults->region_name, kFrameQueueName);
  const auto all =
      ParseWatchOptions({"--seconds", "2.5", "--pgm", "y.pgm", "--png", "f.png", "--name", "other"}, error);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->seconds, 2.5);
  EXPECT_EQ(all->pgm_path, "y.pgm");
  EXPECT_EQ(all->png_path, "f.png");
  EXPECT_EQ(all->region_name, "other");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--seconds"},
                                              {"--seconds", "0"},
                                              {"--seconds", "-1"},
                                              {"--seconds", "5x"},
                                              {"--seconds", "nan"},
                                              {"--frames", "3"},
                                              {"extra"}}) {
    EXPECT_FALSE(ParseWatchOptions(bad, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(ParseWatchOptions({"--help"}, error));
  EXPECT_TRUE(error.empty());
}

TEST(FrameQueueTool, ReportCountsAcrossTheCounterWrap) {
  WatchReport report{};
  report.first.read_index = UINT32_MAX - 9;
  report.last.read_index = 50;
  report.last.width = 1280;
  report.last.height = 720;
  report.last.state = kFrameQueueClosed;
  report.seconds = 2;
  EXPECT_EQ(FormatReport(report),
            "size: 1280 x 720\n"
            "frames written: 50 in total, 60 while watched for 2.0 s\n"
            "frame rate: 30.0 frames/s\n"
            "state: 3 (closed by the writer)\n"
            "writer: gone (the region is left over; its counters will not move)\n");
  report.writer_alive = true;
  EXPECT_NE(FormatReport(report).find("writer: running\n"), std::string::npos);
}

TEST(FrameQueueTool, Pictures) {
  const uint8_t frame[4 * 3 * 3 / 2] = {16, 16,  235, 235, 16,  16,  235, 235, 16,
                                        16, 235, 235, 128, 128, 128, 128, 128, 128};
  const std::vector<uint8_t> pgm = PgmOfLuma(frame, 4, 3);
  EXPECT_EQ(std::string(pgm.begin(), pgm.begin() + 11), "P5\n4 3\n255\n");
  EXPECT_EQ(pgm.size(), 11u + 12u);
  const std::vector<uint8_t> rgb = RgbOfNv12(frame, 4, 3);
  ASSERT_EQ(rgb.size(), 36u);
  EXPECT_EQ(rgb[0], 0);            // video black
  EXPECT_EQ(rgb[3 * 2 + 1], 255);  // video white
  EXPECT_EQ(rgb.back(), 255);
}

// The tool's standard output; `status` gets its wait status.
std::string RunTool(const std::string& arguments, int& status) {
  status = -1;
  FILE* tool = popen((std::string(VANTREL_BIN_DIR) + "vantrel-framequeue " + arguments).c_str(), "r");
  if (!tool) return "could not run the tool";
  std::string output;
  char line[256];
  while (fgets(line, sizeof line, tool)) output += line;
  status = pclose(tool);
  return output;
}

// A writer killed without closing leaves its region with frozen counters.
TEST(FrameQueueTool, ReportsAWriterThatHasGone) {
  const std::string name = fq_test::PrivateName();
  const pid_t writer = fork();
  if (writer == 0) _exit(FrameQueueCreate(64, 48, name.c_str()) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string output = RunTool("--seconds 0.2 --name " + name, status);
  shm_unlink(("/" + name).c_str());
  EXPECT_NE(output.find("state: 1 (created, no frame yet)\n"), std::string::npos) << output;
  EXPECT_NE(output.find("writer: gone"), std::string::npos) << output;
}

TEST(FrameQueueTool, WatchesARegionAndSavesItsNewestFrame) {
  gst_init(nullptr, nullptr);
  const std::string name = fq_test::PrivateName();
  g_slots.frame_queue = FrameQueueCreate(320, 240, name.c_str());
  ASSERT_NE(g_slots.frame_queue, nullptr);
  GstElement* pipeline = gst_parse_launch(
      "videotestsrc is-live=true num-buffers=45 ! video/x-raw,format=NV12,width=320,height=240,"
      "framerate=30/1 ! appsink name=sink emit-signals=true",
      nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  g_signal_connect(sink, "new-sample", G_CALLBACK(OnNewSample), nullptr);
  gst_object_unref(sink);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);

  const std::string pgm = std::string(VANTREL_TEST_OUTPUT) + "framequeue.pgm";
  const std::string png = std::string(VANTREL_TEST_OUTPUT) + "framequeue.png";
  int status = -1;
  const std::string output = RunTool("--seconds 1 --name " + name + " --pgm " + pgm + " --png " + png, status);
  EXPECT_EQ(status, 0) << output;

  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* eos = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_EOS);
  if (eos) gst_message_unref(eos);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  FrameQueueClose(g_slots.frame_queue);
  g_slots.frame_queue = nullptr;

  EXPECT_NE(output.find("size: 320 x 240\n"), std::string::npos) << output;
  EXPECT_NE(output.find("state: 2 (frames being written)\n"), std::string::npos) << output;
  EXPECT_NE(output.find("writer: running\n"), std::string::npos) << output;
  EXPECT_EQ(output.find(" 0 while watched"), std::string::npos) << output;
  std::ifstream saved(pgm, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 15), "P5\n320 240\n255\n");
  EXPECT_EQ(bytes.size(), 15u + 320 * 240);
  std::ifstream picture(png, std::ios::binary);
  char signature[8] = {};
  picture.read(signature, 8);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
}

}  // namespace
