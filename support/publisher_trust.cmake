# What a shop's launcher trusts, fixed at build time. Both unset (the default):
# any server and any module, as always.
set(ORVIN_ALLOWED_ORIGINS "" CACHE STRING
    "Origins the launcher may request or open, ';'-separated (e.g. https://shop.example;https://cdn.shop.example:8443)")
set(ORVIN_PUBLISHER_KEYS "" CACHE STRING
    "SHA-256 (hex) of the SubjectPublicKeyInfo of each certificate the editor module may be signed with, ';'-separated")

# Writes the header that support/publisher_config.cpp compiles for one
# executable, refusing lists that would not mean what they say.
function(orvin_publisher_config header origins keys)
  foreach(origin ${origins})
    if(NOT origin MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://([A-Za-z0-9._-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]+)?/?$")
      message(FATAL_ERROR "ORVIN_ALLOWED_ORIGINS: '${origin}' is not scheme://host[:port]")
    endif()
  endforeach()
  foreach(key ${keys})
    if(NOT key MATCHES "^[0-9A-Fa-f]+$")
      message(FATAL_ERROR "ORVIN_PUBLISHER_KEYS: '${key}' is not a SHA-256 in hex")
    endif()
    string(LENGTH "${key}" _length)
    if(NOT _length EQUAL 64)
      message(FATAL_ERROR "ORVIN_PUBLISHER_KEYS: '${key}' is not a SHA-256 in hex")
    endif()
  endforeach()
  set(ORVIN_CONFIG_ORIGINS "${origins}")
  set(ORVIN_CONFIG_KEYS "${keys}")
  configure_file(${CMAKE_SOURCE_DIR}/support/publisher_config.h.in ${header} @ONLY)
endfunction()

# Gives an executable the publisher settings of `header`'s folder.
function(orvin_publisher_settings target header_dir)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/support/publisher_config.cpp)
  target_include_directories(${target} PRIVATE ${header_dir})
endfunction()

# Tests and tools link the unpinned settings. An executable that compiles its
# own publisher_config.cpp already defines them, so the linker never takes
# this library's copy.
orvin_publisher_config(${CMAKE_BINARY_DIR}/publisher/unpinned/orvin_publisher_config.h "" "")
add_library(publisher_settings_unpinned STATIC ${CMAKE_SOURCE_DIR}/support/publisher_config.cpp)
target_include_directories(publisher_settings_unpinned PRIVATE ${CMAKE_BINARY_DIR}/publisher/unpinned)

orvin_publisher_config(${CMAKE_BINARY_DIR}/publisher/launcher/orvin_publisher_config.h
                       "${ORVIN_ALLOWED_ORIGINS}" "${ORVIN_PUBLISHER_KEYS}")
if(ORVIN_ALLOWED_ORIGINS OR ORVIN_PUBLISHER_KEYS)
  message(STATUS "OrvinLauncher is pinned: origins '${ORVIN_ALLOWED_ORIGINS}', keys '${ORVIN_PUBLISHER_KEYS}'")
endif()

add_library(publisher_trust STATIC ${CMAKE_SOURCE_DIR}/support/publisher_trust.cpp)
target_link_libraries(publisher_trust PUBLIC support publisher_settings_unpinned)
