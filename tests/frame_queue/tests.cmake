vantrel_test(frame_queue_writer_core_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/writer_core_test.cpp
  LIBS frame_queue_writer frame_queue_reader)
if(NOT VANTREL_WITH_MEDIA)
  return()
endif()
vantrel_test(frame_queue_writer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/writer_test.cpp
  LIBS strova_core frame_queue_reader)
vantrel_test(frame_queue_layout_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_test.cpp
  LIBS strova_core frame_queue_reader
  PROPERTIES RESOURCE_LOCK frame_queue)
vantrel_test(frame_queue_copy_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/copy_test.cpp
  LIBS strova_core frame_queue_reader)
vantrel_test(frame_queue_region_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_test.cpp
  LIBS strova_core frame_queue_reader)
vantrel_test(frame_queue_tool_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tool_test.cpp
  LIBS strova_core framequeue_watch)
add_dependencies(frame_queue_tool_test vantrel-framequeue)
target_compile_definitions(frame_queue_tool_test PRIVATE
  VANTREL_TEST_OUTPUT="${CMAKE_CURRENT_BINARY_DIR}/")
