vantrel_test(platform_process_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/process_test.cpp
  LIBS vantrel_platform)
vantrel_test(platform_tcp_socket_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_socket_test.cpp
  LIBS vantrel_platform)
# The local address list is checked through the station name it gives.
vantrel_test(platform_udp_and_addresses_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/udp_socket_test.cpp ${CMAKE_CURRENT_LIST_DIR}/local_addresses_test.cpp
  LIBS vantrel_client_rules)

# The platform interfaces and the client's and engine's headers use no name
# that <windows.h> defines as a macro (checked on the build machine).
if(WIN32)
  file(GLOB CHECKED_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*.h ${CMAKE_SOURCE_DIR}/client/*.h
       ${CMAKE_SOURCE_DIR}/engine/*.h)
  add_test(NAME platform_windows_macro_names
           COMMAND ${CMAKE_COMMAND} -DCOMPILER=${CMAKE_CXX_COMPILER} "-DHEADERS=${CHECKED_HEADERS}"
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_windows_macros.cmake)
endif()
