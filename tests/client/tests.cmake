add_library(partial_strova SHARED ${CMAKE_CURRENT_LIST_DIR}/partial_engine.cpp)
target_include_directories(partial_strova PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(partial_strova PRIVATE STROVA_BUILDING)
set_target_properties(partial_strova PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/partial_engine)

vantrel_test(client_startup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_test.cpp
  LIBS vantrel_client fake_engine)
target_compile_definitions(client_startup_test PRIVATE PARTIAL_ENGINE_PATH="$<TARGET_FILE:partial_strova>")
add_dependencies(client_startup_test partial_strova)
