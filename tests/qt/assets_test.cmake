# Runs the asset tool into OUTPUT and compares every file it writes with the
# committed one in COMMITTED. Fails naming each file that differs.
file(REMOVE_RECURSE "${OUTPUT}")
file(MAKE_DIRECTORY "${OUTPUT}")
execute_process(COMMAND "${TOOL}" "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_assets failed: ${result}")
endif()

set(differing "")
foreach(name penguin.ico boy.ico turtle.avi room.avi)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT}/${name}" "${COMMITTED}/${name}"
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    list(APPEND differing ${name})
  endif()
endforeach()
if(differing)
  message(FATAL_ERROR "Redrawn assets differ from the committed ones: ${differing}")
endif()
