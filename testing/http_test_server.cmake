add_library(http_test_server STATIC ${CMAKE_CURRENT_LIST_DIR}/http_test_server.cpp)
target_link_libraries(http_test_server PUBLIC ws2_32)
orvin_test(http_test_server_test THREADS SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_test_server_test.cpp
           LIBS http_test_server testing_support)
