# Test editor modules, all from one source: the full module and variants that
# leave one export out, plus one that imports from a DLL kept only beside it
# (built into a folder of its own, away from the test executable).
add_library(TestEditorHelper SHARED ${CMAKE_CURRENT_LIST_DIR}/testdata/test_editor_helper.cpp)
set_target_properties(TestEditorHelper PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/helper)

foreach(variant "TestEditorModule;" "TestEditorModuleNoInitialize;ORVIN_TEST_NO_INITIALIZE"
        "TestEditorModuleNoInternalCall;ORVIN_TEST_NO_INTERNAL_CALL" "TestEditorModuleNoWork;ORVIN_TEST_NO_WORK"
        "TestEditorModuleNoUninitialize;ORVIN_TEST_NO_UNINITIALIZE"
        "TestEditorModuleWithHelper;ORVIN_TEST_WITH_HELPER")
  list(GET variant 0 _module)
  list(LENGTH variant _n)
  add_library(${_module} SHARED ${CMAKE_CURRENT_LIST_DIR}/testdata/test_editor_module.cpp)
  set_target_properties(${_module} PROPERTIES PREFIX "")
  target_link_options(${_module} PRIVATE -Wl,--kill-at)
  if(_n GREATER 1)
    list(GET variant 1 _define)
    if(_define)
      target_compile_definitions(${_module} PRIVATE ${_define})
    endif()
  endif()
endforeach()
target_link_libraries(TestEditorModuleWithHelper PRIVATE TestEditorHelper)

orvin_test(module_host_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_host_test.cpp ${ORVIN_RESOURCES}
           LIBS editor testing_support TIMEOUT 600)
add_dependencies(module_host_test TestEditorModule TestEditorModuleNoInitialize TestEditorModuleNoInternalCall
                 TestEditorModuleNoWork TestEditorModuleNoUninitialize TestEditorModuleWithHelper SampleEditor)
