# Debian packages of the SDK, made by CPack from the install components
# (ZQInstall.cmake): `make package` builds the reference, then runs cpack in
# the default build, into build/packages.
#
#   zqextensionkit      (section libs)     ZQExtensionKit.so in its private
#                                          directory /usr/lib/<arch>/
#                                          ZQExtensionKit, /usr/bin/zqext and
#                                          its manual page
#   zqextensionkit-dev  (section libdevel) the public headers, the CMake
#                                          package, the pkg-config file,
#                                          zq_add_plugin and the reference
#
# The library keeps the name hosts and plug-in authors know, without the
# "lib" prefix and a version, so it is a private library: outside the
# dynamic loader's search path, found by hosts through the RUNPATH that
# their link line (the CMake target or pkg-config's flags) gives them. The
# CMake package and the .pc file are in the multiarch search paths, so
# find_package(ZQExtensionKit) and pkg-config find the package unaided.
# The Debian packages the runtime package depends on are computed by
# dpkg-shlibdeps; the development package depends on the runtime package of
# its own version.
set(ZQ_PACKAGE_MAINTAINER
  "ZQExtensionKit developers <zqextensionkit@example.org>"
  CACHE STRING "The Maintainer field of the Debian packages")

set(ZQ_PACKAGE_FILES_DIR "${PROJECT_BINARY_DIR}/package-files")
set(ZQ_RUNTIME_DOCDIR "${CMAKE_INSTALL_DATADIR}/doc/zqextensionkit")
set(ZQ_DEVELOPMENT_DOCDIR "${CMAKE_INSTALL_DATADIR}/doc/zqextensionkit-dev")

# Every Debian package carries its copyright and changelog, compressed
# reproducibly; zqext its manual page, made from its help.
configure_file("${PROJECT_SOURCE_DIR}/packaging/changelog"
  "${ZQ_PACKAGE_FILES_DIR}/changelog" @ONLY)
set(zq_package_files "${ZQ_PACKAGE_FILES_DIR}/changelog.gz")
add_custom_command(
  OUTPUT "${ZQ_PACKAGE_FILES_DIR}/changelog.gz"
  COMMAND gzip -9n -c "${ZQ_PACKAGE_FILES_DIR}/changelog"
    > "${ZQ_PACKAGE_FILES_DIR}/changelog.gz"
  DEPENDS "${ZQ_PACKAGE_FILES_DIR}/changelog")
if(TARGET zqext)
  add_custom_command(
    OUTPUT "${ZQ_PACKAGE_FILES_DIR}/zqext.1.gz"
    COMMAND "${CMAKE_COMMAND}" "-DZQEXT=$<TARGET_FILE:zqext>"
      -DVERSION=${PROJECT_VERSION} "-DOUTPUT=${ZQ_PACKAGE_FILES_DIR}/zqext.1"
      -P "${PROJECT_SOURCE_DIR}/cmake/ZQManPage.cmake"
    COMMAND gzip -9n -f "${ZQ_PACKAGE_FILES_DIR}/zqext.1"
    DEPENDS zqext "${PROJECT_SOURCE_DIR}/cmake/ZQManPage.cmake")
  list(APPEND zq_package_files "${ZQ_PACKAGE_FILES_DIR}/zqext.1.gz")
  install(FILES "${ZQ_PACKAGE_FILES_DIR}/zqext.1.gz"
    DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT runtime)
endif()
add_custom_target(zq_package_files ALL DEPENDS ${zq_package_files})

install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
  "${ZQ_PACKAGE_FILES_DIR}/changelog.gz"
  DESTINATION "${ZQ_RUNTIME_DOCDIR}" COMPONENT runtime)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright"
  "${ZQ_PACKAGE_FILES_DIR}/changelog.gz"
  DESTINATION "${ZQ_DEVELOPMENT_DOCDIR}" COMPONENT development)
# The reference, when `make docs` built it.
install(DIRECTORY "${ZQ_DOCS_DIR}/html"
  DESTINATION "${ZQ_DEVELOPMENT_DOCDIR}" COMPONENT development OPTIONAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zqextensionkit)
set(CPACK_PACKAGE_VENDOR "ZQExtensionKit developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZQ_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME zqextensionkit)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"extension kit of the messaging client
ZQExtensionKit is the shared library that the messaging client loads to
host extensions: it reads the client's extension manifests and
configuration, loads plug-in libraries (checking their MD5s when asked)
and hands out their components by extension point.

This package holds the library, ZQExtensionKit.so, and zqext, the tool
that checks client installations and prepares plug-in projects.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME zqextensionkit-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"extension kit of the messaging client (development files)
ZQExtensionKit is the shared library that the messaging client loads to
host extensions.

This package holds what hosts and plug-in authors build against: the
public headers, the CMake package (find_package(ZQExtensionKit), with
zq_add_plugin for plug-in libraries), the pkg-config file and the API
reference.")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/cpack")
include(CPack)
