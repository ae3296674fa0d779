orvin_test(inet_test BOTH_LOCALES THREADED_CASES "RestTest.*"
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/rest/url_encoding_test.cpp ${CMAKE_CURRENT_LIST_DIR}/rest/rest_test.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/my_internet_session_test.cpp
           LIBS inet http_test_server testing_support)
