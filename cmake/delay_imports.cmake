# Delay-loaded imports for the shipped programs. Windows looks for a DLL that
# is not a KnownDLL in the program's own folder first; the launcher often lies
# in a Downloads folder, so it imports such DLLs delay-loaded: the CRT's
# helper loads each one at its first call, after the program has limited the
# search to System32 (SetDefaultDllDirectories).
#
# GNU ld has no /DELAYLOAD: dlltool writes a delay-import library from a
# definition file made of the toolchain's own import library, and a directory
# that holds these libraries under the usual names, searched before the
# toolchain's, makes every -l<name> of the target take them.
set(ORVIN_DELAYIMP_DIR ${CMAKE_BINARY_DIR}/delayimp)

function(orvin_delay_import_library name)
  set(lib ${ORVIN_DELAYIMP_DIR}/lib${name}.a)
  if(EXISTS ${lib})
    return()
  endif()
  file(MAKE_DIRECTORY ${ORVIN_DELAYIMP_DIR})
  find_library(_import NAMES lib${name}.a NO_CACHE REQUIRED)
  execute_process(COMMAND ${MINGW_PREFIX}-nm -g ${_import} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # 64-bit names are plain; 32-bit ones carry the stdcall decoration, which
  # dlltool's --kill-at drops from the name looked up in the DLL.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX MATCHALL " I __imp_[^\n]+" imports "${symbols}")
    string(REPLACE " I __imp_" "" imports "${imports}")
  else()
    string(REGEX MATCHALL " I __imp__[^\n]+" imports "${symbols}")
    string(REPLACE " I __imp__" "" imports "${imports}")
  endif()
  list(REMOVE_DUPLICATES imports)
  list(JOIN imports "\n" exports)
  file(WRITE ${ORVIN_DELAYIMP_DIR}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
  execute_process(COMMAND ${MINGW_PREFIX}-dlltool --kill-at --input-def ${ORVIN_DELAYIMP_DIR}/${name}.def
                          --dllname ${name}.dll --output-delaylib ${lib}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# orvin_delay_imports(TARGET dll...): TARGET imports these DLLs delay-loaded.
function(orvin_delay_imports target)
  foreach(name ${ARGN})
    orvin_delay_import_library(${name})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ORVIN_DELAYIMP_DIR}/lib${name}.a)
  endforeach()
  target_link_directories(${target} BEFORE PRIVATE ${ORVIN_DELAYIMP_DIR})
endfunction()
