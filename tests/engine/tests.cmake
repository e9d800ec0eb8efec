vantrel_test(engine_frame_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_frame_test.cpp
  LIBS strova_core)
