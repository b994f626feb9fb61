# Makes the release archive of one built tree:
#   cmake -DBUILD_DIR=<build tree> -DOUT_DIR=<directory> -P cmake/Package.cmake
# Installs the tree's release files stripped into a staging directory,
# writes SHA256SUMS (the format of sha256sum) over every file in it, and
# packs the directory as <name>.zip (Windows) or <name>.tar.gz. A tree
# without a launcher target gives no archive, only a note.

foreach(vx_required BUILD_DIR OUT_DIR)
  if(NOT DEFINED ${vx_required})
    message(FATAL_ERROR "usage: cmake -DBUILD_DIR=<build tree> -DOUT_DIR=<directory> -P Package.cmake")
  endif()
endforeach()
get_filename_component(BUILD_DIR "${BUILD_DIR}" ABSOLUTE)
get_filename_component(OUT_DIR "${OUT_DIR}" ABSOLUTE)
if(NOT EXISTS "${BUILD_DIR}/vx-package-info.cmake")
  message(FATAL_ERROR "${BUILD_DIR} is not a configured build tree of the launcher")
endif()
include("${BUILD_DIR}/vx-package-info.cmake")
if(NOT VX_PACKAGE_HAS_LAUNCHER)
  message(STATUS "note: ${BUILD_DIR} builds no launcher; no ${VX_PACKAGE_NAME} archive")
  return()
endif()

set(vx_stage_root "${OUT_DIR}/.stage-${VX_PACKAGE_NAME}")
set(vx_stage "${vx_stage_root}/${VX_PACKAGE_NAME}")
file(REMOVE_RECURSE "${vx_stage_root}")
execute_process(
  COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${vx_stage}" --strip --component vx_release
  RESULT_VARIABLE vx_result OUTPUT_VARIABLE vx_output ERROR_VARIABLE vx_output)
if(NOT vx_result EQUAL 0)
  message(FATAL_ERROR "installing ${BUILD_DIR} failed:\n${vx_output}")
endif()

file(GLOB_RECURSE vx_files RELATIVE "${vx_stage}" "${vx_stage}/*")
list(SORT vx_files)
set(vx_sums "")
foreach(vx_file ${vx_files})
  file(SHA256 "${vx_stage}/${vx_file}" vx_hash)
  string(APPEND vx_sums "${vx_hash}  ${vx_file}\n")
endforeach()
file(WRITE "${vx_stage}/SHA256SUMS" "${vx_sums}")

set(vx_archive "${OUT_DIR}/${VX_PACKAGE_NAME}.${VX_PACKAGE_FORMAT}")
if(VX_PACKAGE_FORMAT STREQUAL "zip")
  set(vx_tar_flags cf "${vx_archive}" --format=zip)
else()
  set(vx_tar_flags czf "${vx_archive}")
endif()
file(REMOVE "${vx_archive}")
# A fixed time stamp: the same files give the same archive.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar ${vx_tar_flags} "--mtime=2000-01-01 00:00:00 UTC" "${VX_PACKAGE_NAME}"
  WORKING_DIRECTORY "${vx_stage_root}" RESULT_VARIABLE vx_result ERROR_VARIABLE vx_output)
file(REMOVE_RECURSE "${vx_stage_root}")
if(NOT vx_result EQUAL 0)
  message(FATAL_ERROR "packing ${vx_archive} failed:\n${vx_output}")
endif()
message(STATUS "archive: ${vx_archive}")
