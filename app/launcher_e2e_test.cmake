# The whole run against the local shop server.
orvin_test(launcher_e2e_test THREADS TIMEOUT 900 SOURCES ${CMAKE_CURRENT_LIST_DIR}/launcher_e2e_test.cpp ${ORVIN_RESOURCES}
           LIBS app shop manifest_producer_core testing_support)
add_dependencies(launcher_e2e_test OrvinLauncher TestEditorModule cart_test_recorder)
