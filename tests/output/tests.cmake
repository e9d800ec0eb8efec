# The camera area's test camera, chain reader and window helpers are reused
# here (tests/camera/tests.cmake defines camera_test_support and PkgConfig::X11).
# Every output test but the pure decisions opens the fixed frame queue region.
vantrel_test(output_pipeline_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/output_pipeline_test.cpp
  LIBS strova_core frame_queue_reader camera_test_support
  PROPERTIES RESOURCE_LOCK frame_queue)
vantrel_test(output_video_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/output_video_test.cpp
  LIBS strova_core frame_queue_reader camera_test_support
  PROPERTIES RESOURCE_LOCK frame_queue)
vantrel_test(preview_branch_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/preview_branch_test.cpp
  LIBS strova_core frame_queue_reader camera_test_support PkgConfig::X11
  PROPERTIES RESOURCE_LOCK frame_queue)
target_compile_definitions(preview_branch_test PRIVATE VANTREL_TEST_OUTPUT_DIR="${VANTREL_TEST_DIR}")
vantrel_test(preview_unavailable_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/preview_unavailable_test.cpp
  LIBS strova_core frame_queue_reader camera_test_support PkgConfig::X11
  PROPERTIES RESOURCE_LOCK frame_queue)
vantrel_test(small_shm_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/small_shm_test.cpp
  LIBS strova_core camera_test_support
  PROPERTIES RESOURCE_LOCK frame_queue)
vantrel_test(stubborn_element_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/stubborn_element_test.cpp
  LIBS strova_core camera_test_support
  PROPERTIES RESOURCE_LOCK frame_queue)
