orvin_test(inet_test BOTH_LOCALES SOURCES ${CMAKE_CURRENT_LIST_DIR}/rest/url_encoding_test.cpp
           LIBS inet http_test_server testing_support)
