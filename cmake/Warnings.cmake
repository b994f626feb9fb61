# One place for the warning set of every target of the project.
# -Wshadow=local: constructor parameters named like the members they
# initialise are the house style, so only local shadowing is reported.
# Clang (the fuzz build) has no -Wshadow=local and its -Wshadow reports
# those parameters too; the GCC builds check shadowing for it.
function(vx_set_warnings target)
  set(vx_shadow -Wshadow=local)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(vx_shadow "")
  endif()
  target_compile_options(${target} PRIVATE
    -Wall -Wextra ${vx_shadow} -Wnon-virtual-dtor -Wsuggest-override
    -Wmissing-declarations -Wpedantic -Wconversion)
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
