add_library(launch STATIC
  ${CMAKE_CURRENT_LIST_DIR}/launch_arguments.cpp ${CMAKE_CURRENT_LIST_DIR}/startup_file_xml.cpp)
target_link_libraries(launch PUBLIC support)
