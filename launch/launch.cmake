# Launch arguments, the service-URL rule, the startup request and the startup
# document reader.
add_library(launch STATIC
  ${CMAKE_CURRENT_LIST_DIR}/launch_arguments.cpp ${CMAKE_CURRENT_LIST_DIR}/prepare_launch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml.cpp)
target_link_libraries(launch PUBLIC support pug inet download publisher_trust)

# Some 270 s for one locale on win32 under qemu-i386.
orvin_test(launch_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml_test.cpp ${CMAKE_CURRENT_LIST_DIR}/launch_arguments_test.cpp
           LIBS launch testing_support TIMEOUT 900)

# The startup request against the in-process server (threads), alone and
# inside the real dialog (template 102 from the resources).
orvin_test(launch_request_test THREADS
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/prepare_launch_test.cpp ${CMAKE_CURRENT_LIST_DIR}/launch_dialog_test.cpp
                   ${ORVIN_RESOURCES}
           LIBS app launch http_test_server testing_support TIMEOUT 600)
