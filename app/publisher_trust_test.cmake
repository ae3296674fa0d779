# Publisher trust, tested with keys made at build time: signed, unsigned,
# tampered and foreign-key copies of the test editor module, and a second
# launcher executable built with the test origin and keys pinned. Its origin
# needs a fixed port (one per architecture, so both suites can run at once).
math(EXPR ORVIN_PINNED_TEST_PORT "47100 + ${CMAKE_SIZEOF_VOID_P} * 8")
set(_signing ${CMAKE_BINARY_DIR}/bin/signing)
set(_signed_outputs ${_signing}/orvin_publisher_config.h ${_signing}/Signed.dll ${_signing}/NextKey.dll
    ${_signing}/OtherKey.dll ${_signing}/Tampered.dll ${_signing}/Unsigned.dll ${_signing}/publisher.pin
    ${_signing}/next.pin ${_signing}/other.pin)
add_custom_command(OUTPUT ${_signed_outputs}
  COMMAND bash ${CMAKE_SOURCE_DIR}/testing/sign_test_modules.sh ${_signing} $<TARGET_FILE:TestEditorModule>
          http://127.0.0.1:${ORVIN_PINNED_TEST_PORT}
  DEPENDS TestEditorModule ${CMAKE_SOURCE_DIR}/testing/sign_test_modules.sh
  COMMENT "Signing the test editor module with keys made for this build")
add_custom_target(signed_test_modules DEPENDS ${_signed_outputs})

add_executable(OrvinLauncherPinned WIN32 main.cpp ${ORVIN_RESOURCES} ${_signing}/orvin_publisher_config.h)
target_link_options(OrvinLauncherPinned PRIVATE -municode)
target_link_libraries(OrvinLauncherPinned PRIVATE app)
orvin_publisher_settings(OrvinLauncherPinned ${_signing})

orvin_test(publisher_trust_test TIMEOUT 600 THREADED_CASES "PinnedJourney.*:PinnedExecutable.*"
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/publisher_trust_test.cpp ${ORVIN_RESOURCES}
           LIBS app shop manifest_producer_core testing_support)
target_compile_definitions(publisher_trust_test PRIVATE ORVIN_PINNED_TEST_PORT=${ORVIN_PINNED_TEST_PORT})
add_dependencies(publisher_trust_test OrvinLauncher OrvinLauncherPinned manifest_producer signed_test_modules cart_test_recorder)
