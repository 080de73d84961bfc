# zq_add_plugin(<name> SOURCES <files...>)
#
# Builds the plug-in library <name>.so (a MODULE target named <name>, no
# "lib" prefix) the way the kit loads plug-ins safely:
# - it compiles against ZQExtensionKit::PluginSDK, the kit's headers only,
#   and links nothing of the kit: the component model and the bundle and
#   extension bases are header-only, and each plug-in keeps its own copy;
# - hidden visibility, inline functions included: the library exports its
#   four entry points (BY_EXPORT_COM_CLASSES) and the type information of
#   the component model's interfaces, nothing else;
# - no unique global symbols (g++'s -fno-gnu-unique). The dynamic loader
#   never unmaps a library that defines one, so without this a plug-in whose
#   code uses, say, a CComLoader would stay mapped, code and data, after its
#   loader closed it;
# - every symbol must resolve when the library is linked (--no-undefined), so
#   the plug-in never depends on what the host process happens to export.
#   Sanitizer runtimes are supplied by the executable, so builds that use
#   -fsanitize skip this check.
#
# The caller sets everything else (output directory, warnings, further
# libraries) on the target as usual.
#
#   find_package(ZQExtensionKit REQUIRED)
#   zq_add_plugin(hello SOURCES hello_plugin.cc)   # builds hello.so
function(zq_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "zq_add_plugin(${name}): SOURCES names no file")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
      "zq_add_plugin(${name}): unexpected arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()

  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ZQExtensionKit::PluginSDK)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".so"
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${name} PRIVATE
    $<$<COMPILE_LANG_AND_ID:CXX,GNU>:-fno-gnu-unique>)

  string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
  get_property(dir_compile_options DIRECTORY PROPERTY COMPILE_OPTIONS)
  get_property(dir_link_options DIRECTORY PROPERTY LINK_OPTIONS)
  set(flags
    "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_MODULE_LINKER_FLAGS}"
    "${CMAKE_MODULE_LINKER_FLAGS_${config}} ${dir_compile_options}"
    "${dir_link_options}")
  if(NOT flags MATCHES "-fsanitize=")
    target_link_options(${name} PRIVATE "LINKER:--no-undefined")
  endif()
endfunction()
