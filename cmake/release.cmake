# The release archive of the product, made by
#
#   cmake --build --preset win32 --target package
#
# which writes QUIB_Ctl-<version>-win32.zip and SHA256SUMS into the build folder. Unpacked
# into the messenger's folder it gives plugins/QUIB_Ctl.dll, plugins/QUIB_Ctl.ini and
# QUIB_Ctl-readme.txt. tools/userguide.py makes the last two out of the documents that hold the
# user's texts, in the readme's order, so that those texts are written once. The install rules
# stage the files and CPack's ZIP generator packs them; cmake/release-pack.cmake then re-packs
# the archive with the files alone and fixed metadata (tools/repack_zip.py) and writes the sums.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_quib_release_dir "${CMAKE_BINARY_DIR}/release")
set(_quib_readme "${_quib_release_dir}/QUIB_Ctl-readme.txt")
set(_quib_ini "${_quib_release_dir}/QUIB_Ctl.ini")
set(_quib_user_texts "${CMAKE_SOURCE_DIR}/README.md" "${CMAKE_SOURCE_DIR}/docs/user-guide.md")
add_custom_command(
  OUTPUT "${_quib_readme}" "${_quib_ini}"
  COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/tools/userguide.py" "${_quib_readme}"
          "${_quib_ini}" ${_quib_user_texts}
  DEPENDS ${_quib_user_texts} "${CMAKE_SOURCE_DIR}/tools/userguide.py"
  COMMENT "Making the release's readme and example settings from the user's texts"
  VERBATIM)
add_custom_target(quib_release_texts ALL DEPENDS "${_quib_readme}" "${_quib_ini}")

install(FILES "$<TARGET_FILE:QUIB_Ctl>" "${_quib_ini}" DESTINATION plugins)
install(FILES "${_quib_readme}" DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QUIB_Ctl)
set(CPACK_PACKAGE_VERSION "${QUIB_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "QUIB_Ctl-${QUIB_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/release-pack.cmake")
# Read by release-pack.cmake: CPack hands on only the variables named CPACK_*.
set(CPACK_QUIB_PYTHON "${Python3_EXECUTABLE}")
set(CPACK_QUIB_REPACK "${CMAKE_SOURCE_DIR}/tools/repack_zip.py")
include(CPack)
