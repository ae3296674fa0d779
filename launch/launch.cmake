# Launch arguments, the service-URL rule, the startup request and the startup
# document reader.
add_library(launch STATIC
  ${CMAKE_CURRENT_LIST_DIR}/launch_arguments.cpp ${CMAKE_CURRENT_LIST_DIR}/prepare_launch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml.cpp)
target_link_libraries(launch PUBLIC support pug inet download)

orvin_test(launch_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml_test.cpp ${CMAKE_CURRENT_LIST_DIR}/launch_arguments_test.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/prepare_launch_test.cpp
           LIBS launch http_test_server testing_support)

# The startup step inside the real dialog (template 102 from the resources).
orvin_test(launch_dialog_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/launch_dialog_test.cpp ${ORVIN_RESOURCES}
           LIBS app http_test_server testing_support TIMEOUT 600)
