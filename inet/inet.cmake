add_library(inet STATIC ${CMAKE_CURRENT_LIST_DIR}/rest/url_encoding.cpp)
target_link_libraries(inet PUBLIC support wininet)
