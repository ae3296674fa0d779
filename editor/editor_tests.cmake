# A program the browser-return test starts through the real shell.
add_executable(cart_test_recorder ${CMAKE_CURRENT_LIST_DIR}/cmdline_recorder.cpp)

# A test dialog template owns the cart service's question box.
orvin_test(cart_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/cart_test.cpp ${CMAKE_CURRENT_LIST_DIR}/cart_test.rc
           LIBS editor http_test_server testing_support TIMEOUT 600)
add_dependencies(cart_test cart_test_recorder)

orvin_test(edit_result_test BOTH_LOCALES SOURCES ${CMAKE_CURRENT_LIST_DIR}/edit_result_test.cpp
           LIBS editor testing_support)
