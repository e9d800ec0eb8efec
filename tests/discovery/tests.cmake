vantrel_test(discovery_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/rules_test.cpp
  LIBS vantrel_client_rules)
if(NOT VANTREL_WITH_MEDIA)
  return()
endif()
vantrel_test(discovery_listener_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/listener_test.cpp
  LIBS vantrel_client)
vantrel_test(discovery_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
  LIBS vantrel_client
  PROPERTIES RESOURCE_LOCK port_51033)
# Runs build/bin/vantrel (beside the fake engine) and build/bin/vantrel-device
# on a private X display.
vantrel_test(discovery_program_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp
  LIBS vantrel_platform fake_engine
  PROPERTIES RESOURCE_LOCK port_51033)
add_dependencies(discovery_program_test vantrel vantrel-device)
