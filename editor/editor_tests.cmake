# The browser return: no threads, so it runs everywhere. The recorder is also
# the stand-in browser of the whole-run test in app/.
add_executable(cart_test_recorder ${CMAKE_CURRENT_LIST_DIR}/cmdline_recorder.cpp)
orvin_test(return_page_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/return_page_test.cpp LIBS editor testing_support)
add_dependencies(return_page_test cart_test_recorder)

# The cart hand-off needs the loopback server's threads and a box answered
# from a thread; a test dialog template owns the question box.
orvin_test(cart_test THREADS SOURCES ${CMAKE_CURRENT_LIST_DIR}/cart_test.cpp ${CMAKE_CURRENT_LIST_DIR}/cart_test.rc
           LIBS editor http_test_server testing_support TIMEOUT 600)

orvin_test(edit_result_test BOTH_LOCALES SOURCES ${CMAKE_CURRENT_LIST_DIR}/edit_result_test.cpp
           LIBS editor testing_support)
