# The announcement parser under fuzzing: with clang a libFuzzer executable,
# otherwise a standalone driver over the seeds and seeded mutations. The CTest
# entry runs a bounded number of inputs; longer runs call it directly.
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(FUZZ_SOURCES ${FUZZ_DIR}/announcement_fuzz.cpp ${CMAKE_SOURCE_DIR}/client/Announcement.cpp)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(announcement_fuzz ${FUZZ_SOURCES})
  target_compile_options(announcement_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(announcement_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  # New inputs go to the build folder, never into the seed folder.
  set(FUZZ_FOUND_DIR ${CMAKE_BINARY_DIR}/fuzz-corpus)
  file(MAKE_DIRECTORY ${FUZZ_FOUND_DIR})
  add_test(NAME announcement_fuzz COMMAND announcement_fuzz -runs=200000 -seed=1 ${FUZZ_FOUND_DIR} ${FUZZ_DIR}/corpus)
else()
  add_executable(announcement_fuzz ${FUZZ_SOURCES} ${FUZZ_DIR}/standalone_driver.cpp)
  add_test(NAME announcement_fuzz COMMAND announcement_fuzz 200000 ${FUZZ_DIR}/corpus)
endif()
target_include_directories(announcement_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(announcement_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTREL_TEST_DIR})
set_tests_properties(announcement_fuzz PROPERTIES TIMEOUT 300)
