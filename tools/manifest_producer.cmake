# The manifest producer: packs module files into cabinets and zip files and
# writes the encrypted activeupdate.xml that the launcher reads.
add_library(manifest_producer_core STATIC ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/producer.cpp
            ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/module_signer.cpp)
target_link_libraries(manifest_producer_core PUBLIC manifest archive_writer download support shlwapi
                      module_signature)

add_executable(manifest_producer ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/main.cpp)
target_link_libraries(manifest_producer PRIVATE manifest_producer_core shell32)

# A module with a version resource for the tests to pack.
add_library(producer_test_module SHARED
  ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/testdata/versioned_module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/testdata/versioned_module.rc)
set_target_properties(producer_test_module PROPERTIES PREFIX "")

# Under 32-bit Wine every process start takes most of a minute.
orvin_test(manifest_producer_test BOTH_LOCALES TIMEOUT 900
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/manifest_producer/producer_test.cpp
           LIBS manifest_producer_core archive testing_support)
add_dependencies(manifest_producer_test manifest_producer producer_test_module)
