# Journeys over HTTPS against nginx on loopback; the certificate checks of the
# request layer. Not on emulated 32-bit Wine (THREADS), where a run that mixes
# HTTP and HTTPS to one host hangs.
orvin_test(https_e2e_test THREADS WEB_SERVER TIMEOUT 600
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/https_e2e_test.cpp ${ORVIN_RESOURCES}
           LIBS app manifest_producer_core testing_support inet crypt32 ws2_32)
add_dependencies(https_e2e_test OrvinLauncher TestEditorModule cart_test_recorder)
