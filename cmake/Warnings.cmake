# Warnings for the project's own targets; third-party headers come in as system headers.
function(tessaly_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Woverloaded-virtual
                                           -Wimplicit-fallthrough -Wno-missing-field-initializers)
endfunction()
