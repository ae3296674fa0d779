orvin_test(framework_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp ${ORVIN_RESOURCES}
           LIBS framework testing_support)
