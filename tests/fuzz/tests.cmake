# The parsers of what the network brings, under fuzzing: the announcement
# parser, and the reply-line assembler with the reply size parser. With clang
# each is a libFuzzer executable, otherwise a standalone driver over the seeds
# and seeded mutations. The CTest entries run a bounded number of inputs;
# longer runs call the executables directly (.ci/run).
set(FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

# vantrel_fuzz_target(name corpus-folder max-input-length sources...)
function(vantrel_fuzz_target name corpus max_len)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} ${ARGN})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    # New inputs go to the build folder, never into the seed folder.
    set(found_dir ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${found_dir})
    add_test(NAME ${name} COMMAND ${name} -runs=200000 -seed=1 -max_len=${max_len} ${found_dir} ${corpus})
  else()
    add_executable(${name} ${ARGN} ${FUZZ_DIR}/standalone_driver.cpp)
    target_compile_definitions(${name} PRIVATE FUZZ_MAX_LEN=${max_len})
    add_test(NAME ${name} COMMAND ${name} 200000 ${corpus})
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTREL_TEST_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

vantrel_fuzz_target(announcement_fuzz ${FUZZ_DIR}/corpus 8192
                    ${FUZZ_DIR}/announcement_fuzz.cpp ${CMAKE_SOURCE_DIR}/client/announcement.cpp)
# Longer than the reply line bound, so that too-long lines are tried.
vantrel_fuzz_target(reply_fuzz ${FUZZ_DIR}/reply_corpus 40000
                    ${FUZZ_DIR}/reply_fuzz.cpp ${CMAKE_SOURCE_DIR}/client/control_protocol.cpp)
target_link_libraries(reply_fuzz PRIVATE vantrel_platform)
