# Stand-in for the installed SDK's CMake package, offering the interface the
# real package offers to plug-ins (the target ZQExtensionKit::PluginSDK and
# the function zq_add_plugin), taken from this source tree. The new-plugin
# test builds generated projects against it, so the template is proved
# whether or not this build has an installable package; the real package is
# tested as well when it can be installed.
get_filename_component(_zq_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET ZQExtensionKit::PluginSDK)
  add_library(ZQExtensionKit::PluginSDK INTERFACE IMPORTED)
  set_target_properties(ZQExtensionKit::PluginSDK PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_zq_root};${_zq_root}/comenv/include")
endif()

# zq_add_plugin(<name> SOURCES <files...>): <name>.so, a MODULE without the
# "lib" prefix, hidden visibility, no unique symbols, nothing left undefined.
function(zq_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES")
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ZQExtensionKit::PluginSDK)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
  target_link_options(${name} PRIVATE "LINKER:--no-undefined")
endfunction()
