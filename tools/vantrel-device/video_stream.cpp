// Test-pattern RTP/H.264 sender of the demo device.
#include "tools/vantrel-device/video_stream.h"

#include <arpa/inet.h>
#include <gst/gst.h>

#include "tools/vantrel-device/net.h"
#include "tools/vantrel-device/wire.h"

namespace device {
namespace {

std::string VideoPipelineDescription(const std::string& host, uint16_t port, int width, int height) {
  // Scrolling colour bars: every frame differs and the picture is easy to recognise.
  // A key frame every 15 frames with SPS/PPS in front lets a late receiver start quickly.
  return "videotestsrc is-live=true pattern=smpte horizontal-speed=4 ! video/x-raw,format=I420,width=" +
         std::to_string(width) + ",height=" + std::to_string(height) +
         ",framerate=30/1 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=15"
         " ! rtph264pay config-interval=-1 pt=96 ! udpsink host=" +
         host + " port=" + std::to_string(port);
}

}  // namespace

bool VideoStream::Start(in_addr destination, uint16_t port, int width, int height, std::string& error) {
  Stop();
  if (!IsLoopbackIPv4(ntohl(destination.s_addr))) {
    error = "destination " + AddressText(destination) + " is not a loopback address";
    return false;
  }
  GError* parse_error = nullptr;
  const std::string description = VideoPipelineDescription(AddressText(destination), port, width, height);
  GstElement* pipeline = gst_parse_launch(description.c_str(), &parse_error);
  if (parse_error) {
    error = parse_error->message;
    g_error_free(parse_error);
    if (pipeline) gst_object_unref(pipeline);
    return false;
  }
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    error = "the video pipeline does not play";
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return false;
  }
  pipeline_ = pipeline;
  return true;
}

void VideoStream::Stop() {
  if (!pipeline_) return;
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  gst_object_unref(pipeline_);
  pipeline_ = nullptr;
}

std::optional<std::string> VideoStream::TakeError() {
  if (!pipeline_) return std::nullopt;
  GstBus* bus = gst_element_get_bus(pipeline_);
  GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  gst_object_unref(bus);
  if (!message) return std::nullopt;
  GError* gerror = nullptr;
  gst_message_parse_error(message, &gerror, nullptr);
  std::string text = gerror ? gerror->message : "unknown error";
  if (gerror) g_error_free(gerror);
  gst_message_unref(message);
  return text;
}

}  // namespace device
