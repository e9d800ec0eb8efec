# The fake engine: a libstrova (Strova.dll) of its own folder that records
# every call of the client's six entry points (see fake_engine.cpp). Client
# tests load it from $<TARGET_FILE_DIR:fake_strova>.
add_library(fake_strova SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_engine/fake_engine.cpp)
target_include_directories(fake_strova PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(fake_strova PRIVATE STROVA_BUILDING)
target_compile_options(fake_strova PRIVATE -fvisibility=hidden)
set_target_properties(fake_strova PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fake_engine
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fake_engine)
if(WIN32)
  set_target_properties(fake_strova PROPERTIES OUTPUT_NAME Strova PREFIX "")
else()
  set_target_properties(fake_strova PROPERTIES OUTPUT_NAME strova)
endif()
# Link `fake_engine` to get FAKE_ENGINE_DIR (the folder, separator included)
# and the library built first.
add_library(fake_engine INTERFACE)
target_compile_definitions(fake_engine INTERFACE FAKE_ENGINE_DIR="$<TARGET_FILE_DIR:fake_strova>/")
add_dependencies(fake_engine fake_strova)
