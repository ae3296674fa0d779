add_library(installer STATIC ${CMAKE_CURRENT_LIST_DIR}/module_installer.cpp)
target_link_libraries(installer PUBLIC support framework launch)
