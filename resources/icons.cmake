# The toolbar icons for the Windows builds.
#
#   include(resources/icons.cmake)
#   quib_add_icons(QUIB_Ctl)
#
# tools/mkicons.py turns the text maps in resources/icons/ into .ico files in the build
# tree; resources/QUIB_Ctl.rc binds them to their integer ids and is compiled into the
# target. The .rc is the one list of icons: every `ID ICON "NAME.ico"` line in it names
# the map resources/icons/NAME.txt. Editing a map, the palette or mkicons.py rebuilds the
# icons and relinks the target; editing the .rc reconfigures.

include_guard(GLOBAL)

# Resolved now, at include time, so that the function works from any directory.
set(_quib_res_dir "${CMAKE_CURRENT_LIST_DIR}")
set(_quib_mkicons "${CMAKE_CURRENT_LIST_DIR}/../tools/mkicons.py")
cmake_path(NORMAL_PATH _quib_mkicons)

if(WIN32)
  get_property(_quib_langs GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT "RC" IN_LIST _quib_langs)
    enable_language(RC)
  endif()
  unset(_quib_langs)
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(quib_add_icons target)
  if(NOT WIN32)
    message(FATAL_ERROR "quib_add_icons(${target}): icon resources are for the Windows builds only")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "quib_add_icons: no target named '${target}'")
  endif()

  set(rc "${_quib_res_dir}/QUIB_Ctl.rc")
  set(maps_dir "${_quib_res_dir}/icons")
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_icons")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${rc}")

  # The icons named by the .rc, and the maps they come from.
  file(STRINGS "${rc}" icon_lines REGEX "^[ \t]*[0-9]+[ \t]+ICON[ \t]+\"[^\"]+\\.ico\"")
  set(icos)
  set(maps)
  foreach(line IN LISTS icon_lines)
    string(REGEX REPLACE ".*\"([^\"]+)\\.ico\".*" "\\1" stem "${line}")
    if(NOT EXISTS "${maps_dir}/${stem}.txt")
      message(FATAL_ERROR "${rc} names ${stem}.ico, but there is no map ${maps_dir}/${stem}.txt")
    endif()
    list(APPEND icos "${out_dir}/${stem}.ico")
    list(APPEND maps "${maps_dir}/${stem}.txt")
  endforeach()
  if(NOT icos)
    message(FATAL_ERROR "${rc} names no icons")
  endif()

  add_custom_command(
    OUTPUT ${icos}
    COMMAND "${Python3_EXECUTABLE}" "${_quib_mkicons}" --icons "${maps_dir}" ico "${out_dir}"
    DEPENDS "${_quib_mkicons}" "${maps_dir}/palette.txt" ${maps}
    COMMENT "Building the ${target} toolbar icons"
    VERBATIM)

  # windres looks the .ico files up on its include path; the .rc is recompiled whenever
  # an icon changes (windres reports no dependencies of its own).
  target_sources(${target} PRIVATE "${rc}" ${icos})
  set_source_files_properties(${icos} PROPERTIES GENERATED TRUE HEADER_FILE_ONLY TRUE)
  set_source_files_properties("${rc}" PROPERTIES
    INCLUDE_DIRECTORIES "${out_dir}"
    OBJECT_DEPENDS "${icos}")
endfunction()
