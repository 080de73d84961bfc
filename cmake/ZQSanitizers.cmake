# ZQ_SANITIZE applies to everything built in this tree (kit, tests, plug-ins),
# so that instrumented and uninstrumented code never mix in one process.
if(ZQ_SANITIZE)
  set(_zq_san_flags "-fsanitize=${ZQ_SANITIZE}" -fno-omit-frame-pointer -g)
  if(ZQ_SANITIZE MATCHES "undefined")
    list(APPEND _zq_san_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_zq_san_flags})
  add_link_options("-fsanitize=${ZQ_SANITIZE}")
endif()
if(ZQ_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZQ_BUILD_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage instrumentation for the kit; the fuzz executables add the
  # libFuzzer driver themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -g)
  add_link_options(-fsanitize=address,undefined)
endif()
