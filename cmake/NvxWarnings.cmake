# Warnings are errors on the project's own code; targets opt in with nvx_warnings().
function(nvx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wformat=2
                                           -Wno-format-nonliteral)
endfunction()
