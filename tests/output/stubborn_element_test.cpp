// An element in the running output pipeline that refuses to stop: the end
// still brings every other element to NULL, disposes no element that is not
// in NULL (GStreamer would say so on standard error), and strova_release
// returns.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "tests/output/output_fixture.h"

namespace {

// How many more times the element refuses to go down from PAUSED or READY.
std::atomic<int> g_refusals{0};

struct Stubborn {
  GstElement parent;
};
struct StubbornClass {
  GstElementClass parent_class;
};
G_DEFINE_TYPE(Stubborn, stubborn, GST_TYPE_ELEMENT)

GstStateChangeReturn StubbornChangeState(GstElement* element, GstStateChange transition) {
  if ((transition == GST_STATE_CHANGE_PAUSED_TO_READY || transition == GST_STATE_CHANGE_READY_TO_NULL) &&
      g_refusals > 0) {
    --g_refusals;
    return GST_STATE_CHANGE_FAILURE;
  }
  return GST_ELEMENT_CLASS(stubborn_parent_class)->change_state(element, transition);
}

void stubborn_class_init(StubbornClass* klass) {
  GST_ELEMENT_CLASS(klass)->change_state = StubbornChangeState;
  gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Stubborn", "Testing", "Refuses to stop", "Vantrel");
}
void stubborn_init(Stubborn*) {}

struct StubbornCase {
  const char* name;
  int refusals;  // 1: once, then it goes; a large number: never
  bool stops;
};
void PrintTo(const StubbornCase& c, std::ostream* os) { *os << c.name; }

class StubbornElement : public ::testing::TestWithParam<StubbornCase> {};

TEST_P(StubbornElement, EndBringsTheRestDownAndDisposesNothingRunning) {
  ASSERT_EQ(strova_init(1), 1);
  const int port = outputtest::FreeUdpPort();
  ASSERT_EQ(strova_startoutput(0, nullptr, port, "video/x-raw", 320, 240, 30, 1), 1);
  auto sender = std::make_unique<outputtest::RtpSender>(port, 320, 240);
  GstElement* stubborn = GST_ELEMENT(g_object_new(stubborn_get_type(), "name", "stubborn", nullptr));
  ASSERT_TRUE(gst_bin_add(GST_BIN(g_slots.pipeline), stubborn));
  ASSERT_TRUE(gst_element_sync_state_with_parent(stubborn));
  ASSERT_TRUE(outputtest::WaitFor([&] { return GST_STATE(stubborn) == GST_STATE_PLAYING; }, std::chrono::seconds(5)));

  gpointer watched[] = {g_slots.source,    g_slots.depay, g_slots.decoder, g_slots.tee,
                        g_slots.app_queue, g_slots.sink,  stubborn};
  for (gpointer& element : watched) g_object_add_weak_pointer(G_OBJECT(element), &element);
  g_refusals = GetParam().refusals;
  testing::internal::CaptureStderr();
  EXPECT_EQ(strova_endoutput(), 1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.find("Trying to dispose"), std::string::npos) << said;
  EXPECT_EQ(g_slots.pipeline, nullptr);
  // The engine's own elements leave the pipeline in NULL and are gone.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(watched[i], nullptr) << i;
  if (GetParam().stops) {
    EXPECT_EQ(watched[6], nullptr) << "it went to NULL on the second try and was dropped";
  } else {
    ASSERT_NE(watched[6], nullptr) << "kept, not disposed while PAUSED";
    EXPECT_NE(GST_STATE(stubborn), GST_STATE_NULL);
  }
  sender.reset();  // gst_deinit waits for every pipeline's threads
  EXPECT_EQ(strova_release(), 1);
  for (gpointer& element : watched) {
    if (element) g_object_remove_weak_pointer(G_OBJECT(element), &element);
  }
  g_refusals = 0;
}

INSTANTIATE_TEST_SUITE_P(Refusals, StubbornElement,
                         ::testing::Values(StubbornCase{"Once", 1, true}, StubbornCase{"Always", 1000000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
