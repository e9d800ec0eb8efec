add_library(camera_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_camera.cpp)
target_include_directories(camera_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(camera_test_support PUBLIC PkgConfig::GST)

vantrel_test(camera_pipelines_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_pipelines_test.cpp
  LIBS strova_core camera_test_support)
