# Archive writers (cabinets through the platform's cabinet library, zip files
# through minizip).
add_library(archive_writer STATIC ${CMAKE_CURRENT_LIST_DIR}/archive_writer.cpp)
target_link_libraries(archive_writer PUBLIC minizip cabinet support)

orvin_test(archive_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_writer_test.cpp
           LIBS archive_writer testing_support setupapi)
