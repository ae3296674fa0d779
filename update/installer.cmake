add_library(installer STATIC ${CMAKE_CURRENT_LIST_DIR}/module_installer.cpp)
target_link_libraries(installer PUBLIC support framework launch download manifest archive shlwapi)

orvin_test(module_installer_test THREADS SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_installer_test.cpp ${ORVIN_RESOURCES}
           LIBS installer manifest_producer_core archive_writer http_test_server testing_support)
