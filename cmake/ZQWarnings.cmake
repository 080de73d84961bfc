# zq_set_warnings(<target>): the warning set every target of the kit builds
# with; ZQ_WERROR turns warnings into errors (CI does).
function(zq_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ZQ_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
