# The progress window test starts with the process's first progress message
# (the redraw throttle is process-wide), so its own file comes first.
orvin_test(app_window_test BOTH_LOCALES
           SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_window_test.cpp ${CMAKE_CURRENT_LIST_DIR}/memory_dc_test.cpp
                   ${ORVIN_RESOURCES}
           LIBS app testing_support TIMEOUT 600)
