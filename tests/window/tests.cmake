vantrel_test(window_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_rules_test.cpp
  LIBS vantrel_client)
vantrel_test(window_frame_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_frame_test.cpp
  LIBS vantrel_client Qt6::Test)
vantrel_test(window_pin_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_pin_test.cpp
  LIBS vantrel_client Qt6::Test)
vantrel_test(window_screen_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_screen_test.cpp
  LIBS vantrel_client Qt6::Test)
