add_library(partial_strova SHARED ${CMAKE_CURRENT_LIST_DIR}/partial_engine.cpp)
target_include_directories(partial_strova PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(partial_strova PRIVATE STROVA_BUILDING)
set_target_properties(partial_strova PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/partial_engine)

vantrel_test(client_engine_binding_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_binding_test.cpp
  LIBS vantrel_client_rules fake_engine)
target_compile_definitions(client_engine_binding_test PRIVATE PARTIAL_ENGINE_PATH="$<TARGET_FILE:partial_strova>")
add_dependencies(client_engine_binding_test partial_strova)
if(WIN32)
  # An engine library (Strova.dll) whose runtime library lies only in its gst\ sub-folder.
  set(DEPENDENT_ENGINE_DIR ${CMAKE_BINARY_DIR}/tests/dependent_engine)
  add_library(gst_runtime SHARED ${CMAKE_CURRENT_LIST_DIR}/gst_runtime.cpp)
  target_include_directories(gst_runtime PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(gst_runtime PRIVATE STROVA_BUILDING)
  set_target_properties(gst_runtime PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DEPENDENT_ENGINE_DIR}/gst)
  add_library(dependent_strova SHARED ${CMAKE_CURRENT_LIST_DIR}/dependent_engine.cpp)
  target_include_directories(dependent_strova PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(dependent_strova PRIVATE STROVA_BUILDING)
  target_link_libraries(dependent_strova PRIVATE gst_runtime)
  set_target_properties(dependent_strova PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DEPENDENT_ENGINE_DIR}
                        ARCHIVE_OUTPUT_DIRECTORY ${DEPENDENT_ENGINE_DIR}
                        OUTPUT_NAME Strova PREFIX "")
  target_compile_definitions(client_engine_binding_test PRIVATE
    DEPENDENT_ENGINE_DIR="${DEPENDENT_ENGINE_DIR}/")
  add_dependencies(client_engine_binding_test dependent_strova)
endif()
if(NOT VANTREL_WITH_MEDIA)
  return()
endif()

vantrel_test(client_startup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_test.cpp
  LIBS vantrel_client fake_engine)
target_compile_definitions(client_startup_test PRIVATE PARTIAL_ENGINE_PATH="$<TARGET_FILE:partial_strova>")
add_dependencies(client_startup_test partial_strova)
