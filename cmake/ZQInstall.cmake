# The installable SDK: `cmake --install <build> [--prefix <dir>]` puts
#   lib/ZQExtensionKit.so
#   include/ZQExtensionKit/{ZQExtensionKit,base,dlcom}/...   the public headers
#   lib/cmake/ZQExtensionKit/    the CMake package: find_package(ZQExtensionKit)
#                                gives ZQExtensionKit::ZQExtensionKit (hosts),
#                                ZQExtensionKit::PluginSDK (plug-ins) and
#                                zq_add_plugin()
#   lib/pkgconfig/ZQExtensionKit.pc
# into the prefix (lib is CMAKE_INSTALL_LIBDIR). Both the CMake package and
# the pkg-config file find the rest of the package relative to themselves, so
# an installed prefix may be moved as a whole.
include(CMakePackageConfigHelpers)

set(ZQ_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/ZQExtensionKit")
set(ZQ_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/ZQExtensionKit")

install(TARGETS ZQExtensionKit ZQExtensionKitPluginSDK
  EXPORT ZQExtensionKitTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  FILE_SET HEADERS DESTINATION "${ZQ_INSTALL_INCLUDEDIR}"
  FILE_SET dlcom_headers DESTINATION "${ZQ_INSTALL_INCLUDEDIR}")
install(EXPORT ZQExtensionKitTargets
  NAMESPACE ZQExtensionKit::
  DESTINATION "${ZQ_INSTALL_CMAKEDIR}")

configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKitConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfig.cmake"
  INSTALL_DESTINATION "${ZQ_INSTALL_CMAKEDIR}"
  NO_SET_AND_CHECK_MACRO)
# A 0.x release may change the interface with every minor version.
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfig.cmake"
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfigVersion.cmake"
  "${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKitPlugin.cmake"
  DESTINATION "${ZQ_INSTALL_CMAKEDIR}")

# The .pc file names its prefix relative to its own directory.
file(RELATIVE_PATH ZQ_PC_PREFIX_FROM_PCFILEDIR
  "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ZQ_PC_PREFIX_FROM_PCFILEDIR
  "${ZQ_PC_PREFIX_FROM_PCFILEDIR}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKit.pc.in"
  "${PROJECT_BINARY_DIR}/ZQExtensionKit.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/ZQExtensionKit.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
