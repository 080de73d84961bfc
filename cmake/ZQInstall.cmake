# The installable SDK: `cmake --install <build> [--prefix <dir>]` puts
#   bin/zqext                    (tools/zqext)
#   lib/<arch>/ZQExtensionKit/ZQExtensionKit.so
#                                a private library directory: the file has
#                                no "lib" prefix and no version in its name,
#                                so it stays out of the dynamic loader's
#                                search path; hosts find it through the
#                                RUNPATH their link line gives them
#   include/ZQExtensionKit/{ZQExtensionKit,base,dlcom}/...   the public headers
#   lib/<arch>/cmake/ZQExtensionKit/
#                                the CMake package: find_package(ZQExtensionKit)
#                                gives ZQExtensionKit::ZQExtensionKit (hosts),
#                                ZQExtensionKit::PluginSDK (plug-ins) and
#                                zq_add_plugin()
#   lib/<arch>/pkgconfig/ZQExtensionKit.pc
# into the prefix. lib/<arch> is Debian's multiarch directory
# (lib/x86_64-linux-gnu), where find_package() and pkg-config look, so the
# binaries and the files that name them sit in a directory of their
# architecture, in an SDK prefix as in the Debian packages. Both the CMake package and
# the pkg-config file find the rest of the package relative to themselves, so
# an installed prefix may be moved as a whole.
#
# Components: "runtime" (the library and zqext) and "development"
# (everything else: headers, CMake package, pkg-config file, the reference
# when it was built); the Debian packages are made of them (ZQPackage.cmake).
include(CMakePackageConfigHelpers)

set(ZQ_INSTALL_ARCH_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
if(CMAKE_LIBRARY_ARCHITECTURE AND
   NOT CMAKE_INSTALL_LIBDIR MATCHES "/${CMAKE_LIBRARY_ARCHITECTURE}$")
  set(ZQ_INSTALL_ARCH_LIBDIR
    "${CMAKE_INSTALL_LIBDIR}/${CMAKE_LIBRARY_ARCHITECTURE}")
endif()
set(ZQ_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/ZQExtensionKit")
set(ZQ_INSTALL_CMAKEDIR "${ZQ_INSTALL_ARCH_LIBDIR}/cmake/ZQExtensionKit")
set(ZQ_INSTALL_PRIVATE_LIBDIR "${ZQ_INSTALL_ARCH_LIBDIR}/ZQExtensionKit")
set(ZQ_INSTALL_PKGCONFIGDIR "${ZQ_INSTALL_ARCH_LIBDIR}/pkgconfig")

install(TARGETS ZQExtensionKit ZQExtensionKitPluginSDK
  EXPORT ZQExtensionKitTargets
  LIBRARY DESTINATION "${ZQ_INSTALL_PRIVATE_LIBDIR}" COMPONENT runtime
  FILE_SET HEADERS DESTINATION "${ZQ_INSTALL_INCLUDEDIR}"
    COMPONENT development
  FILE_SET dlcom_headers DESTINATION "${ZQ_INSTALL_INCLUDEDIR}"
    COMPONENT development)
install(EXPORT ZQExtensionKitTargets
  NAMESPACE ZQExtensionKit::
  DESTINATION "${ZQ_INSTALL_CMAKEDIR}"
  COMPONENT development)

configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKitConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfig.cmake"
  INSTALL_DESTINATION "${ZQ_INSTALL_CMAKEDIR}"
  NO_SET_AND_CHECK_MACRO)
# find_package(ZQExtensionKit 1.2) accepts any 1.y with y >= 2: releases of
# one major version keep every symbol, interface slot and id
# (ZQExtensionKit/ZQExtensionKitVersion.h).
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfig.cmake"
  "${PROJECT_BINARY_DIR}/ZQExtensionKitConfigVersion.cmake"
  "${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKitPlugin.cmake"
  DESTINATION "${ZQ_INSTALL_CMAKEDIR}"
  COMPONENT development)

# The .pc file names its prefix relative to its own directory.
file(RELATIVE_PATH ZQ_PC_PREFIX_FROM_PCFILEDIR
  "${CMAKE_INSTALL_PREFIX}/${ZQ_INSTALL_PKGCONFIGDIR}" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ZQ_PC_PREFIX_FROM_PCFILEDIR
  "${ZQ_PC_PREFIX_FROM_PCFILEDIR}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/ZQExtensionKit.pc.in"
  "${PROJECT_BINARY_DIR}/ZQExtensionKit.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/ZQExtensionKit.pc"
  DESTINATION "${ZQ_INSTALL_PKGCONFIGDIR}"
  COMPONENT development)
