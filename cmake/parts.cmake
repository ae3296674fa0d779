# Each folder's pieces live in their own *.cmake files (one per library or
# tool), included here in name order.
file(GLOB _orvin_parts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
foreach(_part ${_orvin_parts})
  include(${_part})
endforeach()
