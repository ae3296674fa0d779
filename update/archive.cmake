# Archive writers (cabinets through the platform's cabinet library, zip files
# through minizip).
add_library(archive_writer STATIC ${CMAKE_CURRENT_LIST_DIR}/archive_writer.cpp)
target_link_libraries(archive_writer PUBLIC minizip cabinet support)

# Archive extraction: cabinets through the setup library, zip files through
# the zip reading layer on minizip and zlib.
add_library(archive STATIC
  ${CMAKE_CURRENT_LIST_DIR}/archive_extract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zip_archive.cpp)
target_link_libraries(archive PUBLIC minizip setupapi shell32 support)

# Some 170 s for one locale on win32 under qemu-i386.
orvin_test(archive_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_test.cpp ${CMAKE_CURRENT_LIST_DIR}/archive_writer_test.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/zip_test_builder.cpp
           LIBS archive archive_writer testing_support setupapi
           TIMEOUT 600)
