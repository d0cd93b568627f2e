# quietwalk_windows_resources(target): links the program's Windows resources
# (win/quietwalk.rc: icons, clips, string table, dialogs, version block and
# manifest) into `target`. The string table is made from ui/string_table.inc
# when the target builds, so its texts stay defined in one place.
function(quietwalk_windows_resources target)
  set(win_folder ${PROJECT_SOURCE_DIR}/win)
  set(ui_folder ${PROJECT_SOURCE_DIR}/ui)
  set(made_folder ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(strings ${made_folder}/quietwalk_strings.rc)
  add_custom_command(OUTPUT ${strings}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${ui_folder}/string_table.inc -DOUTPUT=${strings}
            -P ${PROJECT_SOURCE_DIR}/cmake/QuietwalkStringTable.cmake
    DEPENDS ${ui_folder}/string_table.inc ${PROJECT_SOURCE_DIR}/cmake/QuietwalkStringTable.cmake
    COMMENT "Making the string table of the resource script"
    VERBATIM)
  set_source_files_properties(${strings} PROPERTIES HEADER_FILE_ONLY ON)
  target_sources(${target} PRIVATE ${win_folder}/quietwalk.rc ${strings})
  # The script names its files from the top of the source tree and includes
  # the made table.
  set_property(SOURCE ${win_folder}/quietwalk.rc APPEND PROPERTY OBJECT_DEPENDS
    ${strings} ${ui_folder}/resource.h ${PROJECT_SOURCE_DIR}/run/run_strings.h
    ${win_folder}/quietwalk.manifest
    ${ui_folder}/assets/penguin.ico ${ui_folder}/assets/boy.ico
    ${ui_folder}/assets/turtle.avi ${ui_folder}/assets/room.avi)
  set_property(SOURCE ${win_folder}/quietwalk.rc APPEND PROPERTY INCLUDE_DIRECTORIES
    ${PROJECT_SOURCE_DIR} ${made_folder})
  if(MSVC)
    # The manifest comes from the resources; the linker would add a second.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
