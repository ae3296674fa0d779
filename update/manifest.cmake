# The update manifest: SEED, the manifest data encryption and its reader.
add_library(manifest STATIC
  ${CMAKE_CURRENT_LIST_DIR}/seed.cpp ${CMAKE_CURRENT_LIST_DIR}/manifest_crypto.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_file_xml.cpp)
target_link_libraries(manifest PUBLIC support pug)

orvin_test(manifest_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/seed_test.cpp ${CMAKE_CURRENT_LIST_DIR}/manifest_crypto_test.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/update_file_xml_test.cpp
           LIBS manifest testing_support)
