# The in-place XML document model.
add_library(pug STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pug/xml_tree.cpp ${CMAKE_CURRENT_LIST_DIR}/pug/xml_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pug/xml_node.cpp ${CMAKE_CURRENT_LIST_DIR}/pug/wildcard_match.cpp)
target_link_libraries(pug PUBLIC support)

orvin_test(pug_test
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/pug/pug_test.cpp ${CMAKE_CURRENT_LIST_DIR}/pug/pug_robustness_test.cpp
           LIBS pug testing_support)
