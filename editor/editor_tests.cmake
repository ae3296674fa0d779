# A program the browser-return test starts through the real shell.
add_executable(cart_test_recorder ${CMAKE_CURRENT_LIST_DIR}/cmdline_recorder.cpp)

orvin_test(cart_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/cart_test.cpp LIBS editor testing_support)
add_dependencies(cart_test cart_test_recorder)
