# Installs the kit into a scratch prefix and builds, against that package
# alone, what a newcomer builds:
# 1. the installed headers are exactly those the umbrella header reaches, and
#    it compiles from the package (no internal header is needed or shipped);
# 2. examples/getting-started configures with CMAKE_PREFIX_PATH, builds its
#    host and its plug-in (zq_add_plugin), and the host greets through the
#    plug-in from the installation its build lays out;
# 3. a host built with pkg-config's flags starts from any directory;
# 4. find_package(ZQExtensionKit <version>) accepts the releases of the
#    installed major version up to the installed one, and no other.
# Usage: cmake -DBUILD_DIR=<kit build tree> -DSOURCE_DIR=<repository>
#              -DWORK_DIR=<scratch directory> -DCXX=<compiler>
#              -DCXX_FLAGS=<warning flags> -DGENERATOR=<CMake generator>
#              -DLIBDIR=<lib/<arch>, ZQ_INSTALL_ARCH_LIBDIR>
#              -DPKG_CONFIG=<pkg-config>
#              -DVERSION=<the kit's version, MAJOR.MINOR.PATCH>
#              -P <this file>
include("${CMAKE_CURRENT_LIST_DIR}/sdk_check_support.cmake")

set(prefix "${WORK_DIR}/prefix")
set(include_dir "${prefix}/include/ZQExtensionKit")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
zq_run("installing" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")

# 1. Headers.
file(WRITE "${WORK_DIR}/umbrella.cc"
  "#include \"ZQExtensionKit/ZQExtensionKitSDK.h\"\n")
zq_run("compiling the umbrella header from the package"
  "${CXX}" -std=c++17 "-I${include_dir}" -M "${WORK_DIR}/umbrella.cc")
string(REGEX REPLACE "[ \\\\\n]+" ";" dependencies "${output}")
set(reached)
foreach(file IN LISTS dependencies)
  string(FIND "${file}" "${include_dir}/" at)
  if(at EQUAL 0)
    list(APPEND reached "${file}")
  endif()
endforeach()
list(REMOVE_DUPLICATES reached)
file(GLOB_RECURSE installed LIST_DIRECTORIES false "${include_dir}/*")
set(unreached ${installed})
list(REMOVE_ITEM unreached ${reached})
if(unreached)
  string(REPLACE ";" "\n  " unreached "${unreached}")
  message(FATAL_ERROR "installed headers the umbrella header does not "
    "include:\n  ${unreached}")
endif()

# 2. The getting-started example.
set(example "${WORK_DIR}/getting-started")
zq_run("configuring examples/getting-started"
  "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/getting-started" -B "${example}"
  -G "${GENERATOR}" "-DCMAKE_CXX_COMPILER=${CXX}" -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_PREFIX_PATH=${prefix}")
file(STRINGS "${example}/CMakeCache.txt" package_dir
  REGEX "^ZQExtensionKit_DIR:")
if(NOT package_dir STREQUAL
   "ZQExtensionKit_DIR:PATH=${prefix}/${LIBDIR}/cmake/ZQExtensionKit")
  message(FATAL_ERROR "the example found another package: ${package_dir}")
endif()
zq_run("building examples/getting-started" "${CMAKE_COMMAND}" --build "${example}")
zq_run("running the getting-started host" "${example}/client/host")
if(NOT output MATCHES "Hello, world!\n" OR NOT output MATCHES "Bonjour, world!\n")
  message(FATAL_ERROR "the getting-started host did not greet:\n${output}")
endif()

# 3. pkg-config.
zq_run("pkg-config"
  "${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig"
  "${PKG_CONFIG}" --cflags --libs ZQExtensionKit)
separate_arguments(pkg_flags UNIX_COMMAND "${output}")
zq_check_host_starts("with pkg-config's flags" ${pkg_flags})

# 4. The version file.
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
math(EXPR next_major "${major} + 1")
math(EXPR next_minor "${minor} + 1")
set(accepted "${major}" "${major}.0" "${VERSION}")
set(refused "${next_major}.0" "${major}.${next_minor}")
if(major GREATER 0)
  math(EXPR previous_major "${major} - 1")
  list(APPEND refused "${previous_major}.0")
endif()
foreach(requested IN LISTS accepted refused)
  set(project_dir "${WORK_DIR}/find-${requested}")
  file(WRITE "${project_dir}/CMakeLists.txt"
    "cmake_minimum_required(VERSION 3.25)\n"
    "project(FindKit LANGUAGES NONE)\n"
    "find_package(ZQExtensionKit ${requested} REQUIRED)\n")
  # The package's directory is named outright: a project without a
  # language has no library architecture to search lib/<arch> with.
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${project_dir}"
      -B "${project_dir}/build"
      "-DZQExtensionKit_DIR=${prefix}/${LIBDIR}/cmake/ZQExtensionKit"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  list(FIND accepted "${requested}" expected_ok)
  if(expected_ok GREATER -1 AND NOT status EQUAL 0)
    message(FATAL_ERROR "find_package(ZQExtensionKit ${requested}) refuses "
      "the installed ${VERSION}:\n${output}")
  elseif(expected_ok EQUAL -1 AND status EQUAL 0)
    message(FATAL_ERROR "find_package(ZQExtensionKit ${requested}) accepts "
      "the installed ${VERSION}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
