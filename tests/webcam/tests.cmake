# vantrel-camera: its pure parts, its view of a real region, and the program
# publishing to a private PipeWire daemon (and to v4l2loopback where present).
# Linux only, as the program.
if(WIN32)
  return()
endif()
vantrel_test(webcam_picture_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_test.cpp
  LIBS camera_core)
vantrel_test(webcam_feed_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/feed_test.cpp
  LIBS camera_core strova_core)
vantrel_test(webcam_program_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipewire_test.cpp
  LIBS camera_core strova_core
  PROPERTIES RESOURCE_LOCK frame_queue)
add_dependencies(webcam_program_test vantrel-camera)
