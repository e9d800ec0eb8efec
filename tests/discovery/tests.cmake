vantrel_test(discovery_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/rules_test.cpp
  LIBS vantrel_client)
vantrel_test(discovery_platform_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/udp_socket_test.cpp ${CMAKE_CURRENT_LIST_DIR}/local_addresses_test.cpp
  LIBS vantrel_client)
vantrel_test(discovery_listener_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/listener_test.cpp
  LIBS vantrel_client)
