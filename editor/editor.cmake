add_library(editor STATIC
  ${CMAKE_CURRENT_LIST_DIR}/module_host.cpp ${CMAKE_CURRENT_LIST_DIR}/edit_result.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cart_handoff.cpp)
target_link_libraries(editor PUBLIC support framework launch inet pug JsonCpp::JsonCpp shell32)

# The publisher's signature on the module (checked only in builds with keys).
add_library(module_signature STATIC ${CMAKE_CURRENT_LIST_DIR}/module_signature.cpp)
target_link_libraries(module_signature PUBLIC publisher_trust wintrust crypt32 bcrypt)
target_link_libraries(editor PUBLIC module_signature)
