# Run by cpack after its ZIP generator (see cmake/release.cmake): re-packs each archive with
# the files alone and fixed metadata, and writes SHA256SUMS into the folder that cpack then
# copies the archives to.
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${CPACK_QUIB_PYTHON}" "${CPACK_QUIB_REPACK}" "${archive}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "re-packing ${archive} failed")
  endif()
  file(SHA256 "${archive}" sum)
  cmake_path(GET archive FILENAME name)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
