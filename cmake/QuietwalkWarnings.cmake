# Every target of the project builds with warnings as errors.
function(quietwalk_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
      -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused
      -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Wformat=2
      -Wimplicit-fallthrough)
  endif()
endfunction()

# One library per folder, warnings as errors, the repository root on the
# include path so that headers are named by folder: "platform/registry.h".
function(quietwalk_library target)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  quietwalk_warnings(${target})
endfunction()
