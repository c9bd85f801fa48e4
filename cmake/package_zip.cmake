# Zips the package folder into vexaWriter-package.zip and writes vexaWriter-package.sha256 (the
# format sha256sum -c reads): one line per package file, then one for the zip, with paths
# relative to the build folder so the list checks from there.
# Run as: cmake -DBUILD_DIR=<win64 build folder> -P package_zip.cmake
set(package ${BUILD_DIR}/package)
set(zip_file ${BUILD_DIR}/vexaWriter-package.zip)
set(sum_file ${BUILD_DIR}/vexaWriter-package.sha256)
file(REMOVE ${zip_file} ${sum_file})

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${package} ${package}/*)
list(SORT files)
find_program(ZIP_PROGRAM zip)
if(ZIP_PROGRAM)
  execute_process(COMMAND ${ZIP_PROGRAM} -q -X ${zip_file} ${files}
                  WORKING_DIRECTORY ${package} RESULT_VARIABLE result)
else()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${files}
                  WORKING_DIRECTORY ${package} RESULT_VARIABLE result)
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "zipping the package failed: ${result}")
endif()

set(sum_paths)
foreach(file ${files})
  list(APPEND sum_paths package/${file})
endforeach()
list(APPEND sum_paths vexaWriter-package.zip)
execute_process(COMMAND sha256sum ${sum_paths} WORKING_DIRECTORY ${BUILD_DIR}
                OUTPUT_FILE ${sum_file} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "sha256sum failed: ${result}")
endif()
