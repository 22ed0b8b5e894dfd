# One place for the warning set: every target of the project calls
# zelvar_warnings(). Warnings become errors only on request
# (ZELVAR_WARNINGS_AS_ERRORS, which the project's scripts and CI switch on):
# a packager's build with another compiler or optimisation level must not
# fail on a warning nobody here has seen yet.
option(ZELVAR_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

function(zelvar_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wconversion -Wsign-conversion
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  if(ZELVAR_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
