# Makes the dated copy of the package folder (dated/package: the same files, every one dated
# SOURCE_DATE_EPOCH, the time of the commit), zips it into vexaWriter-package.zip (entries in
# name order, with those dates and no extra fields) and writes vexaWriter-package.sha256 (the
# format sha256sum -c reads): one line per package file, then one for the zip, with paths
# relative to the build folder so the list checks from there. The setup program and the MSI are
# made from the dated copy too, so that two builds of one commit give the same bytes.
# Run as: cmake -DBUILD_DIR=<win64 build folder> -DEPOCH=<seconds> -P package_zip.cmake
set(package ${BUILD_DIR}/package)
set(dated ${BUILD_DIR}/dated/package)
set(zip_file ${BUILD_DIR}/vexaWriter-package.zip)
set(sum_file ${BUILD_DIR}/vexaWriter-package.sha256)
file(REMOVE ${zip_file} ${sum_file})
file(REMOVE_RECURSE ${dated})

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${package} ${package}/*)
list(SORT files)
file(COPY ${package}/ DESTINATION ${dated})
# Folders too: zip stores no folder entries (-D), but the setup compilers may look at them.
file(GLOB_RECURSE entries LIST_DIRECTORIES true ${dated}/*)
execute_process(COMMAND touch -h -d @${EPOCH} ${dated} ${entries} COMMAND_ERROR_IS_FATAL ANY)
find_program(ZIP_PROGRAM zip)
if(ZIP_PROGRAM)
  # zip stores local times: UTC makes them the same everywhere.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP_PROGRAM} -q -X -D ${zip_file}
                          ${files}
                  WORKING_DIRECTORY ${dated} RESULT_VARIABLE result)
else()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip --mtime=@${EPOCH}
                          ${files}
                  WORKING_DIRECTORY ${dated} RESULT_VARIABLE result)
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
