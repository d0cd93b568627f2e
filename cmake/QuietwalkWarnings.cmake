# Every target of the project builds with the same warnings. They stop the
# build only when asked (QUIETWALK_WARNINGS_AS_ERRORS, which scripts/test
# turns on): a packager's build with another compiler must not fail on a
# warning that compiler adds. `cmake --compile-no-warning-as-error` turns
# them off again for one configure.
option(QUIETWALK_WARNINGS_AS_ERRORS "Make the compiler's warnings errors" OFF)

function(quietwalk_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
      -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused
      -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Wformat=2
      -Wimplicit-fallthrough)
    # GCC 12 at -O3 warns of an overlapping copy inside libstdc++ wherever
    # "text" + std::string is inlined: a false alarm of that compiler alone
    # (GCC bug 105329), fixed in 13.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
  # CMake adds -Werror or /WX, whichever the compiler takes.
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ${QUIETWALK_WARNINGS_AS_ERRORS})
endfunction()

# One library per folder, the repository root on the include path so that
# headers are named by folder: "platform/registry/registry.h".
function(quietwalk_library target)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  quietwalk_warnings(${target})
endfunction()
