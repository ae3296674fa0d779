# Downloads through the HTTP client and the small file operations of the update.
add_library(download STATIC ${CMAKE_CURRENT_LIST_DIR}/download.cpp)
target_link_libraries(download PUBLIC inet support framework bcrypt version)

# DLLs that carry a version resource (1.2.3.4, and one larger than 4096 bytes)
# or none, for the version reader's tests.
foreach(probe 1234 large none)
  set(probe_sources ${CMAKE_CURRENT_LIST_DIR}/testdata/version_probe.c)
  if(NOT probe STREQUAL "none")
    list(APPEND probe_sources ${CMAKE_CURRENT_LIST_DIR}/testdata/version_${probe}.rc)
  endif()
  add_library(version_probe_${probe} SHARED ${probe_sources})
  set_target_properties(version_probe_${probe} PROPERTIES PREFIX "")
endforeach()

orvin_test(download_test THREADED_CASES "DownloadTest.*" SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_test.cpp
           LIBS download http_test_server testing_support)
add_dependencies(download_test version_probe_1234 version_probe_large version_probe_none)
