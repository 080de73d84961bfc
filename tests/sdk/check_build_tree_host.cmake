# A host built against the build tree with the link line of docs/sdk.md
# (ZQExtensionKit.so by path, and a RUNPATH naming its directory) starts from
# any directory.
# Usage: cmake -DCXX=<compiler> -DCXX_FLAGS=<warning flags>
#              -DSOURCE_DIR=<repository> -DKIT=<ZQExtensionKit.so>
#              -DWORK_DIR=<scratch directory> -P <this file>
include("${CMAKE_CURRENT_LIST_DIR}/sdk_check_support.cmake")

get_filename_component(kit_dir "${KIT}" DIRECTORY)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
zq_check_host_starts("against the build tree"
  "-I${SOURCE_DIR}" "-I${SOURCE_DIR}/comenv/include"
  "${KIT}" "-Wl,-rpath,${kit_dir}")
file(REMOVE_RECURSE "${WORK_DIR}")
