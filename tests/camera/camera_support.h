// Helpers the camera-area tests share: reading a built pipeline back (its
// elements and the caps on its links), taking an element factory away for a
// while, and the engine fixture with the test camera.
#pragma once

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/engine_slots.h"
#include "engine/strova.h"
#include "platform/process.h"
#include "tests/camera/test_camera.h"

namespace camerasupport {

inline bool IsCapsFilter(GstElement* element) {
  GstElementFactory* factory = gst_element_get_factory(element);
  return factory && std::string(GST_OBJECT_NAME(factory)) == "capsfilter";
}

// Names of the pipeline's elements in the order they were added, leaving out
// the caps filters that filtered links put in.
inline std::vector<std::string> ElementsInAddOrder(GstElement* pipeline) {
  std::vector<std::string> names;
  for (GList* child = GST_BIN_CHILDREN(GST_BIN(pipeline)); child; child = child->next) {
    GstElement* element = GST_ELEMENT(child->data);
    if (!IsCapsFilter(element)) names.insert(names.begin(), GST_OBJECT_NAME(element));
  }
  return names;
}

// The element that the element's "src" pad feeds, or nullptr.
inline GstElement* Downstream(GstElement* element) {
  GstPad* src = gst_element_get_static_pad(element, "src");
  if (!src) return nullptr;
  GstPad* peer = gst_pad_get_peer(src);
  gst_object_unref(src);
  if (!peer) return nullptr;
  GstElement* next = gst_pad_get_parent_element(peer);
  gst_object_unref(peer);
  if (next) gst_object_unref(next);  // the pipeline keeps it
  return next;
}

// The chain from element onwards: "a -> b" for a plain link and
// "a -{caps}-> b" for a link filtered through a caps filter.
inline std::string ChainFrom(GstElement* element) {
  std::string chain = GST_OBJECT_NAME(element);
  for (GstElement* next = Downstream(element); next; next = Downstream(next)) {
    if (IsCapsFilter(next)) {
      GstCaps* caps = nullptr;
      g_object_get(next, "caps", &caps, nullptr);
      gchar* text = gst_caps_to_string(caps);
      chain += std::string(" -{") + text + "}-> ";
      g_free(text);
      gst_caps_unref(caps);
      next = Downstream(next);
      if (!next) break;
    } else {
      chain += " -> ";
    }
    chain += GST_OBJECT_NAME(next);
  }
  return chain;
}

// Keeps the pipeline's elements alive past its end, to look at them after.
class HeldElements {
 public:
  explicit HeldElements(GstElement* pipeline) {
    for (const std::string& name : ElementsInAddOrder(pipeline)) {
      elements_.push_back(gst_bin_get_by_name(GST_BIN(pipeline), name.c_str()));
    }
  }
  ~HeldElements() {
    for (GstElement* element : elements_) gst_object_unref(element);
  }
  HeldElements(const HeldElements&) = delete;
  HeldElements& operator=(const HeldElements&) = delete;
  // True when none of them is in a bin or linked to anything.
  bool AllTakenOutAndUnlinked() const {
    for (GstElement* element : elements_) {
      if (GST_OBJECT_PARENT(element)) return false;
      for (GList* pad = GST_ELEMENT_PADS(element); pad; pad = pad->next) {
        if (gst_pad_is_linked(GST_PAD(pad->data))) return false;
      }
    }
    return !elements_.empty();
  }

 private:
  std::vector<GstElement*> elements_;
};

inline std::string StringProperty(GstElement* element, const char* name) {
  gchar* value = nullptr;
  g_object_get(element, name, &value, nullptr);
  std::string text = value ? value : "<null>";
  g_free(value);
  return text;
}

inline int IntProperty(GstElement* element, const char* name) {
  gint value = 0;
  g_object_get(element, name, &value, nullptr);
  return value;
}

// Takes an element factory out of the registry; puts it back when it goes.
class FactoryRemoved {
 public:
  // The factory's plugin is loaded first: loading it later (on the first
  // make of any of its elements) would register the factory again.
  explicit FactoryRemoved(const char* name) : feature_(LoadedFeature(name)) {
    if (feature_) gst_registry_remove_feature(gst_registry_get(), feature_);
  }
  ~FactoryRemoved() { Restore(); }
  FactoryRemoved(const FactoryRemoved&) = delete;
  FactoryRemoved& operator=(const FactoryRemoved&) = delete;
  bool ok() const { return feature_ != nullptr; }
  void Restore() {
    if (!feature_) return;
    gst_registry_add_feature(gst_registry_get(), feature_);
    gst_object_unref(feature_);
    feature_ = nullptr;
  }

 private:
  static GstPluginFeature* LoadedFeature(const char* name) {
    GstPluginFeature* feature = gst_registry_find_feature(gst_registry_get(), name, GST_TYPE_ELEMENT_FACTORY);
    if (feature) {
      if (GstPluginFeature* loaded = gst_plugin_feature_load(feature)) gst_object_unref(loaded);
    }
    return feature;
  }

  GstPluginFeature* feature_;
};

// An initialised engine whose camera is the test camera.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testcamera::Register();
    ASSERT_EQ(strova_init(1), 1);
  }
  // Release leaves no GL context thread behind for the process exit to race.
  void TearDown() override {
    strova_release();
    EXPECT_TRUE(platform::WaitUntilNoThreadNamed("gstglcontext", 0));
  }
};

// Runs strova_wait on this thread; quits the loop from a watchdog after
// limit_ms so that a missing bus message fails the test instead of hanging.
// True when something other than the watchdog ended the wait.
inline bool WaitWithLimit(guint limit_ms) {
  bool timed_out = false;
  const guint watchdog = g_timeout_add(
      limit_ms,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        g_main_loop_quit(g_slots.main_loop);
        return G_SOURCE_REMOVE;
      },
      &timed_out);
  EXPECT_EQ(strova_wait(), 1);
  if (!timed_out) g_source_remove(watchdog);
  return !timed_out;
}

// The three pipeline families by their start (with fixed arguments) and end.
struct Family {
  const char* name;
  PipelineKind kind;
  EngineResult (*start)();
  EngineResult (*end)();
};

inline const Family kFamilies[] = {
    {"CameraPreview", PipelineKind::CameraPreview,
     [] { return strova_startplay(0, nullptr, "video/x-raw", 320, 240, 30, 1, 0); }, strova_endplay},
    {"CameraStream", PipelineKind::CameraStream,
     [] { return strova_startstream(0, nullptr, "video/x-raw", 320, 240, 30, 1, "127.0.0.1", 5006); },
     strova_endstream},
    {"StreamPreview", PipelineKind::StreamPreview, [] { return strova_startplaystream(5008, 96, 0); },
     strova_endplaystream},
};

inline void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

// Calls the family's end export while another thread is blocked in
// strova_wait; the wait must return (a missed quit ends in the test's time
// limit).
inline void EndWhileWaiting(const Family& family) {
  std::thread waiter([] { strova_wait(); });
  while (!g_main_loop_is_running(g_slots.main_loop)) g_usleep(1000);
  EXPECT_EQ(family.end(), 1);
  waiter.join();
  EXPECT_EQ(g_slots.pipeline, nullptr);
}

}  // namespace camerasupport
