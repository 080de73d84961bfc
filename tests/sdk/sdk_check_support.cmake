# Helpers of the SDK checks (cmake -P scripts). The including script sets
# CXX (the compiler), CXX_FLAGS (warning flags), SOURCE_DIR (the repository)
# and WORK_DIR (its scratch directory).
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")

# zq_run(<what> <command...>): runs the command and fails the check with its
# output unless it succeeds; the output is left in `output`.
function(zq_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# zq_check_host_starts(<what> <compiler and linker flags...>): builds
# tests/sdk/minimal_host.cc with the given flags and runs it from "/", where
# it starts only if its link line lets the dynamic loader find
# ZQExtensionKit.so.
function(zq_check_host_starts what)
  set(host "${WORK_DIR}/minimal_host")
  zq_run("building a host ${what}" "${CXX}" -std=c++17 ${cxx_flags}
    "${SOURCE_DIR}/tests/sdk/minimal_host.cc" ${ARGN} -o "${host}")
  execute_process(COMMAND "${host}" WORKING_DIRECTORY "/"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0 OR NOT output MATCHES "ZQExtensionKit started")
    message(FATAL_ERROR
      "a host built ${what} does not start (${status}):\n${output}")
  endif()
endfunction()
