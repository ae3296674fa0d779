add_library(editor STATIC
  ${CMAKE_CURRENT_LIST_DIR}/module_host.cpp ${CMAKE_CURRENT_LIST_DIR}/edit_result.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cart_handoff.cpp)
target_link_libraries(editor PUBLIC support framework launch inet pug JsonCpp::JsonCpp shell32)
