vantrel_test(control_protocol_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/control_protocol_test.cpp
  LIBS vantrel_client_rules)
vantrel_test(fake_engine_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fake_engine_test.cpp
  LIBS vantrel_client_rules fake_engine)
if(NOT VANTREL_WITH_MEDIA)
  return()
endif()
vantrel_test(control_session_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/control_session_test.cpp
  LIBS vantrel_client)
vantrel_test(session_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_window_test.cpp
  LIBS vantrel_client fake_engine Qt6::Test)
vantrel_test(session_default_port_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_default_port_test.cpp
  LIBS vantrel_client fake_engine Qt6::Test
  PROPERTIES RESOURCE_LOCK port_51034)
vantrel_test(session_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_faults_test.cpp
  LIBS vantrel_client fake_engine Qt6::Test)
vantrel_test(hostile_device_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_device_test.cpp
  LIBS vantrel_client fake_engine Qt6::Test)
