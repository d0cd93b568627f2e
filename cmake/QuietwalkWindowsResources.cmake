# quietwalk_windows_resources(target): links the program's Windows resources
# (app/quietwalk.rc: icons, clips, string table, dialogs, version block and
# manifest) into `target`. The string table is made from app/string_table.inc
# when the target builds, so its texts stay defined in one place.
function(quietwalk_windows_resources target)
  set(app_folder ${PROJECT_SOURCE_DIR}/app)
  set(made_folder ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(strings ${made_folder}/quietwalk_strings.rc)
  add_custom_command(OUTPUT ${strings}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${app_folder}/string_table.inc -DOUTPUT=${strings}
            -P ${PROJECT_SOURCE_DIR}/cmake/QuietwalkStringTable.cmake
    DEPENDS ${app_folder}/string_table.inc ${PROJECT_SOURCE_DIR}/cmake/QuietwalkStringTable.cmake
    COMMENT "Making the string table of the resource script"
    VERBATIM)
  set_source_files_properties(${strings} PROPERTIES HEADER_FILE_ONLY ON)
  target_sources(${target} PRIVATE ${app_folder}/quietwalk.rc ${strings})
  # The script names its files relative to app/ and includes the made table.
  set_property(SOURCE ${app_folder}/quietwalk.rc APPEND PROPERTY OBJECT_DEPENDS
    ${strings} ${app_folder}/resource.h ${app_folder}/quietwalk.manifest
    ${app_folder}/assets/penguin.ico ${app_folder}/assets/boy.ico
    ${app_folder}/assets/turtle.avi ${app_folder}/assets/room.avi)
  set_property(SOURCE ${app_folder}/quietwalk.rc APPEND PROPERTY INCLUDE_DIRECTORIES
    ${app_folder} ${made_folder})
  if(MSVC)
    # The manifest comes from the resources; the linker would add a second.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
