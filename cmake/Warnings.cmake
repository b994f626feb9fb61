# One place for the warning set of every target of the project.
# -Wshadow=local: constructor parameters named like the members they
# initialise are the house style, so only local shadowing is reported.
function(vx_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor -Wsuggest-override
    -Wmissing-declarations -Wpedantic)
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
