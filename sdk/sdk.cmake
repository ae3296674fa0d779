# SampleEditor.dll: the sample editor module. Exports carry the plain names
# on 32-bit x86 too (stdcall would add "@n"): --kill-at.
add_library(SampleEditor SHARED ${CMAKE_CURRENT_LIST_DIR}/sample_editor/sample_editor.cpp)
set_target_properties(SampleEditor PROPERTIES PREFIX "" OUTPUT_NAME SampleEditor)
target_link_options(SampleEditor PRIVATE -Wl,--kill-at)
target_link_libraries(SampleEditor PRIVATE user32 gdi32)
