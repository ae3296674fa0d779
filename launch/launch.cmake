add_library(launch STATIC
  ${CMAKE_CURRENT_LIST_DIR}/launch_arguments.cpp ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml.cpp)
target_link_libraries(launch PUBLIC support pug inet)

orvin_test(launch_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml_test.cpp ${CMAKE_CURRENT_LIST_DIR}/launch_arguments_test.cpp
           LIBS launch testing_support)
