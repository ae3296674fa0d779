add_library(inet STATIC
  ${CMAKE_CURRENT_LIST_DIR}/internet_exception.cpp
  ${CMAKE_CURRENT_LIST_DIR}/internet_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/my_internet_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rest/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rest/rest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rest/url_encoding.cpp)
target_link_libraries(inet PUBLIC support wininet)
