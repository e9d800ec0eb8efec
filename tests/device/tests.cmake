vantrel_test(device_logic_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_logic_test.cpp
  LIBS vantrel_device_core)
# Runs build/bin/vantrel-device on free loopback ports.
vantrel_test(device_program_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_program_test.cpp
  LIBS vantrel_device_core)
add_dependencies(device_program_test vantrel-device)
