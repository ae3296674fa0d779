orvin_test(app_driver_test THREADS SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_driver_test.cpp ${ORVIN_RESOURCES}
           LIBS app testing_support TIMEOUT 600)
add_dependencies(app_driver_test OrvinLauncher)
