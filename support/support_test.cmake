orvin_test(support_test BOTH_LOCALES SOURCES ${CMAKE_CURRENT_LIST_DIR}/support_test.cpp ${CMAKE_CURRENT_LIST_DIR}/contained_path_test.cpp LIBS support testing_support)
