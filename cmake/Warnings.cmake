# One place for the warning set of every target of the project.
function(vx_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wsuggest-override
    -Wmissing-declarations -Wpedantic)
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
