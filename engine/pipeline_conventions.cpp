// The start and end conventions (see pipeline_conventions.h).
#include "engine/pipeline_conventions.h"

gboolean OnBusMessage(GstBus*, GstMessage* message, gpointer user_data) {
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
      g_print("End of stream\n");
      g_main_loop_quit(static_cast<GMainLoop*>(user_data));
      break;
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gchar* debug = nullptr;
      gst_message_parse_error(message, &error, &debug);
      g_free(debug);
      g_printerr("Error: %s\n", error ? error->message : "");
      if (error) g_error_free(error);
      g_main_loop_quit(static_cast<GMainLoop*>(user_data));
      break;
    }
    default:
      break;
  }
  return TRUE;
}

namespace conventions {

bool MayStart() { return g_slots.main_loop && !g_slots.pipeline; }

GstElement* MakePipeline(const char* name, PipelineKind kind) {
  g_slots.pipeline = gst_pipeline_new(name);
  if (g_slots.pipeline) gst_object_ref_sink(g_slots.pipeline);
  g_slots.kind = g_slots.pipeline ? kind : PipelineKind::None;
  return g_slots.pipeline;
}

GstElement* MakeElement(const char* factory, const char* name) { return gst_element_factory_make(factory, name); }

EngineResult FailStart(std::initializer_list<GstElement**> made) {
  g_printerr("One element could not be created. Exiting.\n");
  for (GstElement** slot : made) {
    if (*slot) {
      gst_object_ref_sink(*slot);
      gst_object_unref(*slot);
      *slot = nullptr;
    }
  }
  if (g_slots.pipeline) gst_object_unref(g_slots.pipeline);
  g_slots.pipeline = nullptr;
  g_slots.kind = PipelineKind::None;
  return 0;
}

namespace {

// Only end-of-stream and errors are ever looked at, and the bus is dispatched
// only inside strova_wait: every other message is dropped as it is posted, so
// that a long session does not pile state, QoS and element messages up on the
// bus. Runs on whichever thread posts.
GstBusSyncReply KeepEndAndErrorMessages(GstBus*, GstMessage* message, gpointer) {
  const GstMessageType type = GST_MESSAGE_TYPE(message);
  if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) return GST_BUS_PASS;
  gst_message_unref(message);  // a dropping sync handler owns the message
  return GST_BUS_DROP;
}

}  // namespace

void AddBusWatch() {
  g_slots.bus = gst_pipeline_get_bus(GST_PIPELINE(g_slots.pipeline));
  gst_bus_set_sync_handler(g_slots.bus, KeepEndAndErrorMessages, nullptr, nullptr);
  g_slots.bus_watch_id = gst_bus_add_watch(g_slots.bus, OnBusMessage, g_slots.main_loop);
  gst_object_unref(g_slots.bus);
  g_slots.bus = nullptr;
}

void LinkFiltered(GstElement* a, GstElement* b, GstCaps* caps) {
  gst_element_link_filtered(a, b, caps);
  gst_mini_object_unref(GST_MINI_OBJECT_CAST(caps));
}

EngineResult Play() {
  gst_element_set_state(g_slots.pipeline, GST_STATE_PLAYING);
  return 1;
}

namespace {

void ElementToNull(const GValue* item, gpointer) {
  gst_element_set_state(GST_ELEMENT(g_value_get_object(item)), GST_STATE_NULL);
}

// An element that will not stop must not be disposed while its threads may
// still run: it keeps a reference for the rest of the process, and
// gst_deinit, which would wait for those threads, is skipped at release.
void KeepUnlessNull(GstElement* element) {
  if (GST_STATE(element) == GST_STATE_NULL && GST_STATE_PENDING(element) == GST_STATE_VOID_PENDING) return;
  gst_object_ref(element);
  g_slots.elements_kept = true;
}

void KeepItemUnlessNull(const GValue* item, gpointer) { KeepUnlessNull(GST_ELEMENT(g_value_get_object(item))); }

void ForEachElement(GstIteratorForeachFunction function) {
  GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(g_slots.pipeline));
  while (gst_iterator_foreach(elements, function, nullptr) == GST_ITERATOR_RESYNC) gst_iterator_resync(elements);
  gst_iterator_free(elements);
}

}  // namespace

bool BeginEnd(PipelineKind kind) {
  if (!g_slots.main_loop) return false;
  g_main_loop_quit(g_slots.main_loop);
  if (!g_slots.pipeline || g_slots.kind != kind) return false;
  if (gst_element_set_state(g_slots.pipeline, GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE) {
    // One element refused: bring every element down on its own.
    ForEachElement(ElementToNull);
    gst_element_set_state(g_slots.pipeline, GST_STATE_NULL);
    ForEachElement(KeepItemUnlessNull);
    KeepUnlessNull(g_slots.pipeline);
  }
  return true;
}

void FinishEnd() {
  g_print("Deleting pipeline\n");
  // Messages still queued (an error or end-of-stream nobody waited for) hold
  // the pipeline; drop them so that releasing it frees it.
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(g_slots.pipeline));
  gst_bus_set_flushing(bus, TRUE);
  gst_object_unref(bus);
  gst_object_unref(g_slots.pipeline);
  g_source_remove(g_slots.bus_watch_id);
  g_slots.bus_watch_id = 0;
  g_slots.pipeline = nullptr;
  g_slots.decoder = nullptr;
  g_slots.kind = PipelineKind::None;
}

}  // namespace conventions
