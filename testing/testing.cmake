add_library(testing_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp)
target_link_libraries(testing_support PUBLIC shell32 ole32 user32)
