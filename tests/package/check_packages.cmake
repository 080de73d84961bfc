# Checks the Debian packages `make package` wrote, as a user of them would
# meet them:
# 1. each package lists what it should and nothing from an internal/ folder;
# 2. both unpack (dpkg-deb -x) into a scratch root, where
#    examples/getting-started builds against the packaged CMake package and
#    its host greets through its plug-in, and a project written by the
#    packaged zqext new-plugin builds and its installation passes the
#    packaged zqext doctor;
# 3. lintian finds no error and no warning (justified overrides aside).
# Usage: cmake -DPACKAGE_DIR=<dir of the .deb files> -DSOURCE_DIR=<repository>
#              -DWORK_DIR=<scratch directory> -DVERSION_HEADER=<version .h>
#              -P <this file>
function(zq_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

file(STRINGS "${VERSION_HEADER}" version_line
  REGEX "^#define ZQEXTENSIONKIT_VERSION_STRING ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" version "${version_line}")
zq_run("dpkg-architecture" dpkg-architecture -qDEB_HOST_ARCH)
string(STRIP "${output}" arch)
zq_run("dpkg-architecture" dpkg-architecture -qDEB_HOST_MULTIARCH)
string(STRIP "${output}" multiarch)
set(runtime "${PACKAGE_DIR}/zqextensionkit_${version}_${arch}.deb")
set(development "${PACKAGE_DIR}/zqextensionkit-dev_${version}_${arch}.deb")
foreach(deb IN ITEMS "${runtime}" "${development}")
  if(NOT EXISTS "${deb}")
    message(FATAL_ERROR "no package ${deb}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
set(root "${WORK_DIR}/root")
file(MAKE_DIRECTORY "${root}")

# 1. Contents.
set(expected_runtime
  "./usr/lib/${multiarch}/ZQExtensionKit/ZQExtensionKit.so"
  "./usr/bin/zqext"
  "./usr/share/man/man1/zqext.1.gz"
  "./usr/share/doc/zqextensionkit/copyright")
set(expected_development
  "./usr/include/ZQExtensionKit/ZQExtensionKit/ZQExtensionKitSDK.h"
  "./usr/include/ZQExtensionKit/ZQExtensionKit/ZQExtensionKitVersion.h"
  "./usr/include/ZQExtensionKit/dlcom/unknown.h"
  "./usr/include/ZQExtensionKit/base/values.h"
  "./usr/lib/${multiarch}/cmake/ZQExtensionKit/ZQExtensionKitConfig.cmake"
  "./usr/lib/${multiarch}/cmake/ZQExtensionKit/ZQExtensionKitConfigVersion.cmake"
  "./usr/lib/${multiarch}/cmake/ZQExtensionKit/ZQExtensionKitPlugin.cmake"
  "./usr/lib/${multiarch}/pkgconfig/ZQExtensionKit.pc"
  "./usr/share/doc/zqextensionkit-dev/copyright"
  "./usr/share/doc/zqextensionkit-dev/html/index.html")
foreach(kind IN ITEMS runtime development)
  zq_run("listing ${${kind}}" dpkg-deb -c "${${kind}}")
  if(output MATCHES "/internal/")
    message(FATAL_ERROR "${${kind}} ships internal headers:\n${output}")
  endif()
  foreach(path IN LISTS expected_${kind})
    string(FIND "${output}" " ${path}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${${kind}} lacks ${path}:\n${output}")
    endif()
  endforeach()
  zq_run("unpacking ${${kind}}" dpkg-deb -x "${${kind}}" "${root}")
endforeach()

# 2. Building against the unpacked packages.
set(example "${WORK_DIR}/getting-started")
zq_run("configuring examples/getting-started against the packages"
  "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/getting-started"
  -B "${example}" "-DCMAKE_PREFIX_PATH=${root}/usr")
zq_run("building examples/getting-started" "${CMAKE_COMMAND}" --build "${example}")
zq_run("running the getting-started host" "${example}/client/host")
if(NOT output MATCHES "Hello, world!\n" OR NOT output MATCHES "Bonjour, world!\n")
  message(FATAL_ERROR "the getting-started host did not greet:\n${output}")
endif()
zq_run("zqext doctor on the getting-started installation"
  "${root}/usr/bin/zqext" doctor "${example}/client")

set(plugin "${WORK_DIR}/packaged_plugin")
zq_run("zqext new-plugin" "${root}/usr/bin/zqext" new-plugin packaged_plugin "${plugin}")
zq_run("configuring the new plug-in against the packages"
  "${CMAKE_COMMAND}" -S "${plugin}" -B "${plugin}/build"
  "-DCMAKE_PREFIX_PATH=${root}/usr")
zq_run("building the new plug-in" "${CMAKE_COMMAND}" --build "${plugin}/build")
zq_run("zqext doctor on the new plug-in's installation"
  "${root}/usr/bin/zqext" doctor "${plugin}/build/installation")

# 3. lintian.
zq_run("lintian" lintian --fail-on error,warning
  "${runtime}" "${development}")
message(STATUS "packages ok: ${runtime}, ${development}")
file(REMOVE_RECURSE "${WORK_DIR}")
