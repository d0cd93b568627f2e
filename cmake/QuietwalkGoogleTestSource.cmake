# GoogleTest for a cross build: no package is made for the target, so the
# sources that Debian's libgtest-dev ships are built with the target's
# compiler, under the same target names that find_package(GTest) gives.
find_path(QUIETWALK_GOOGLETEST_SOURCE
  NAMES googletest/CMakeLists.txt
  PATHS /usr/src/googletest
  NO_CMAKE_FIND_ROOT_PATH
  DOC "GoogleTest's source folder (Debian: libgtest-dev)")
if(NOT QUIETWALK_GOOGLETEST_SOURCE)
  message(FATAL_ERROR "GoogleTest's sources were not found: install libgtest-dev "
                      "or set QUIETWALK_GOOGLETEST_SOURCE")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QUIETWALK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(library gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
