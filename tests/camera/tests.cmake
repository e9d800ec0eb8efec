add_library(camera_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_camera.cpp)
target_include_directories(camera_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(camera_test_support PUBLIC PkgConfig::GST)

vantrel_test(camera_pipelines_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_pipelines_test.cpp
  LIBS strova_core camera_test_support)

pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)

add_executable(stream_preview_peer ${CMAKE_CURRENT_LIST_DIR}/stream_preview_peer.cpp)
target_include_directories(stream_preview_peer PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(stream_preview_peer PRIVATE STROVA_LIBRARY_PATH="$<TARGET_FILE:strova>")
target_link_libraries(stream_preview_peer PRIVATE PkgConfig::X11 ${CMAKE_DL_LIBS})
set_target_properties(stream_preview_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTREL_TEST_DIR})

vantrel_test(camera_video_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_video_test.cpp
  LIBS strova_core camera_test_support PkgConfig::X11)
target_compile_definitions(camera_video_test PRIVATE
  VANTREL_PREVIEW_PEER="$<TARGET_FILE:stream_preview_peer>" VANTREL_TEST_SHOTS="${VANTREL_TEST_DIR}/")
add_dependencies(camera_video_test stream_preview_peer)

vantrel_test(camera_media_elements_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_elements_test.cpp
  LIBS strova_core)

# Leak detection on whatever the caller's ASAN_OPTIONS say, with full stacks;
# GLib's slab allocator would hide leaked objects from it.
set(CMAKE_CROSSCOMPILING_EMULATOR env G_SLICE=always-malloc
    ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:abort_on_error=1)
vantrel_test(camera_missing_factory_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/missing_factory_test.cpp
  LIBS strova_core camera_test_support)
unset(CMAKE_CROSSCOMPILING_EMULATOR)

vantrel_test(engine_exports_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/exports_test.cpp)
