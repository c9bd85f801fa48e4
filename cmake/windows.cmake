# Windows build: the package folder with the installer, the stand-ins for the sibling products
# and the test helpers that run under Wine.
enable_language(RC)

set(PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(WINDOWS_FLAGS -Wall -Wextra -municode)
set(WINDOWS_LINK_FLAGS -municode -static -static-libgcc -static-libstdc++)
# Repeatable builds: no build folder in any output (file names the compiler records become
# relative), no link time in the PE headers, and every date in the zip, the setup program and
# the MSI is SOURCE_DATE_EPOCH: taken from the environment, else the time of the last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result ERROR_QUIET)
  if(NOT result EQUAL 0 OR SOURCE_DATE_EPOCH STREQUAL "")
    set(SOURCE_DATE_EPOCH 0)
  endif()
endif()
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)
# Hardening of every program and DLL built here: the stack protector where the compiler supports
# it, with its guard and failure routine from drv/hardening/stack_guard.c instead of libssp
# (which seeds the guard through the cryptographic provider at load time, loading DLLs before the
# installer restricts its DLL search), address randomisation with 64-bit (high-entropy)
# addresses, DEP, and for programs the terminal-server flag. tests/wine/checks/00_imports.sh
# reads the flags back.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -fstack-protector-strong)
set(CMAKE_REQUIRED_LINK_OPTIONS -fstack-protector-strong -static)
check_cxx_source_compiles("int main() { char b[64]; volatile char* p = b; p[0] = 0; return p[0]; }"
                          VEXA_STACK_PROTECTOR)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(VEXA_STACK_PROTECTOR)
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
  add_library(stack_guard OBJECT ${CMAKE_SOURCE_DIR}/drv/hardening/stack_guard.c)
  # Into every program and DLL, once: not into the static libraries they link.
  link_libraries($<$<NOT:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,STATIC_LIBRARY>>:stack_guard>)
endif()
add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--tsaware")
# Authenticode signing of every Windows file the build makes, when VEXA_SIGN_PKCS12 names a
# certificate at configure time (scripts/sign.sh reads it and its password when it runs).
if(DEFINED ENV{VEXA_SIGN_PKCS12} AND NOT "$ENV{VEXA_SIGN_PKCS12}" STREQUAL "")
  set(VEXA_SIGN ON)
else()
  set(VEXA_SIGN OFF)
endif()
set(SIGN_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/sign.sh)
# Signs a target's file once it is linked; called in the folder that defines the target.
function(vexa_sign target)
  if(VEXA_SIGN)
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${SIGN_SCRIPT} $<TARGET_FILE:${target}>
                       VERBATIM)
  endif()
endfunction()
# The product's build number has one source, drv/install/foundation/product.h: the version
# resources get it as VEXA_BUILD_NUMBER (file version 1.0.0.BUILD), the MSI and the setup
# program as version 1.0.BUILD, whose first three fields decide the MSI's major upgrade.
file(STRINGS ${CMAKE_SOURCE_DIR}/drv/install/foundation/product.h build_line
     REGEX "^constexpr int kBuildNumber = [0-9]+")
if(NOT build_line MATCHES "^constexpr int kBuildNumber = ([0-9]+)")
  message(FATAL_ERROR "no kBuildNumber in drv/install/foundation/product.h")
endif()
set(VEXA_BUILD_NUMBER ${CMAKE_MATCH_1})
add_compile_definitions($<$<COMPILE_LANGUAGE:RC>:VEXA_BUILD_NUMBER=${VEXA_BUILD_NUMBER}>)
set(VEXA_MSI_VERSION 1.0.${VEXA_BUILD_NUMBER})

add_library(installer_core STATIC ${INSTALLER_SOURCES})
target_include_directories(installer_core PUBLIC ${CMAKE_SOURCE_DIR}/drv/install)
target_compile_definitions(installer_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                 _WIN32_WINNT=0x0601)
target_compile_options(installer_core PRIVATE ${WINDOWS_FLAGS})
# The installer runs elevated from a folder others may write to. At start it imports only DLLs
# the system always takes from its own directory (kernel32, advapi32, msvcrt). The other DLLs
# it calls are delay-loaded, at their first call, after the program has restricted the DLL
# search to the system directory (drv/install/safe_start.h): winspool.drv and version.dll,
# which a copy beside the program could otherwise stand in for, and user32 and shell32, whose
# own imports some systems resolve by the program's search path at start.
# Each delay-import library lists every export of the toolchain's import library.
find_program(DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
find_program(NM NAMES ${TOOLCHAIN_PREFIX}-nm x86_64-w64-mingw32-nm REQUIRED)
set(DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay_load)
file(MAKE_DIRECTORY ${DELAY_LOAD_DIR})
set(DELAY_LOAD_LIBRARIES)
foreach(dll winspool.drv version.dll user32.dll shell32.dll)
  get_filename_component(stem ${dll} NAME_WE)
  find_library(IMPORT_LIBRARY_${stem} NAMES lib${stem}.a REQUIRED)
  execute_process(COMMAND ${NM} ${IMPORT_LIBRARY_${stem}} OUTPUT_VARIABLE symbols
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
  list(TRANSFORM imports REPLACE " I __imp_" "")
  list(REMOVE_DUPLICATES imports)
  list(JOIN imports "\n" exports)
  set(def ${DELAY_LOAD_DIR}/${stem}.def)
  file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  set(library ${DELAY_LOAD_DIR}/lib${stem}_delay.a)
  add_custom_command(
    OUTPUT ${library}
    COMMAND ${DLLTOOL} --input-def ${def} --dllname ${dll} --output-delaylib ${library}
    DEPENDS ${def})
  list(APPEND DELAY_LOAD_LIBRARIES ${library})
endforeach()
add_custom_target(delay_load_libraries DEPENDS ${DELAY_LOAD_LIBRARIES})
add_dependencies(installer_core delay_load_libraries)
target_link_libraries(installer_core PUBLIC ${DELAY_LOAD_LIBRARIES} advapi32)

add_executable(zqvinst64 WIN32 ${CMAKE_SOURCE_DIR}/drv/install/resources/installer.rc)
target_link_libraries(zqvinst64 PRIVATE -Wl,--whole-archive installer_core -Wl,--no-whole-archive)
target_link_options(zqvinst64 PRIVATE ${WINDOWS_LINK_FLAGS} -mwindows)
set_target_properties(zqvinst64 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PACKAGE_DIR}/drv)
# The released exe is built for size: the product uses neither exceptions nor RTTI, each
# function and datum gets its own section so the linker drops what nothing references, and
# the symbols are stripped.
set(INSTALLER_SIZE_FLAGS -Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti)
target_compile_options(installer_core PRIVATE ${INSTALLER_SIZE_FLAGS})
target_link_options(zqvinst64 PRIVATE -s -Wl,--gc-sections)
vexa_sign(zqvinst64)

if(EXISTS ${CMAKE_SOURCE_DIR}/drv/payload/CMakeLists.txt)
  add_subdirectory(drv/payload)
endif()
add_subdirectory(setup/msi_actions)

# vexaWriter-package.zip and its SHA-256 list, remade whenever a package file changes.
set(PACKAGE_FILES $<TARGET_FILE:zqvinst64> $<TARGET_FILE:zqvmon64> $<TARGET_FILE:zqvdrv64>
                  $<TARGET_FILE:zqvui64> $<TARGET_FILE:vextray> ${PACKAGE_DIR}/drv/zqvhelp.chm)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/vexaWriter-package.zip ${CMAKE_BINARY_DIR}/vexaWriter-package.sha256
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DEPOCH=${SOURCE_DATE_EPOCH} -P
          ${CMAKE_SOURCE_DIR}/cmake/package_zip.cmake
  DEPENDS ${PACKAGE_FILES} ${CMAKE_SOURCE_DIR}/cmake/package_zip.cmake)
add_custom_target(package_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/vexaWriter-package.zip)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
  add_subdirectory(tests/wine)
endif()

# The setup program around the package (setup/vexaWriter.nsi), made when makensis is installed,
# from the dated copy of the package.
set(ZIP_OUTPUT ${CMAKE_BINARY_DIR}/vexaWriter-package.zip)
find_program(MAKENSIS makensis)
if(MAKENSIS AND TARGET vextray)
  set(SETUP_EXE ${CMAKE_BINARY_DIR}/vexaWriter-setup.exe)
  set(sign_setup)
  if(VEXA_SIGN)
    set(sign_setup COMMAND ${SIGN_SCRIPT} ${SETUP_EXE})
  endif()
  add_custom_command(
    OUTPUT ${SETUP_EXE}
    COMMAND ${MAKENSIS} -V2 -DPACKAGE_DIR=${CMAKE_BINARY_DIR}/dated/package -DOUTFILE=${SETUP_EXE}
            -DVERSION=${VEXA_MSI_VERSION}
            ${CMAKE_SOURCE_DIR}/setup/vexaWriter.nsi
    ${sign_setup}
    DEPENDS ${CMAKE_SOURCE_DIR}/setup/vexaWriter.nsi ${ZIP_OUTPUT}
    COMMENT "Making the setup program vexaWriter-setup.exe"
    VERBATIM)
  add_custom_target(setup ALL DEPENDS ${SETUP_EXE})
else()
  message(STATUS "makensis not found: the setup program is not made")
endif()

# The MSI package (setup/vexaWriter.wxs), made when wixl is installed.
find_program(WIXL wixl)
if(WIXL AND TARGET vextray)
  set(MSI_FILE ${CMAKE_BINARY_DIR}/vexaWriter.msi)
  add_custom_command(
    OUTPUT ${MSI_FILE}
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DVERSION=${VEXA_MSI_VERSION} -DACTION_DLL=$<TARGET_FILE:vexaMsiActions>
            -DOUTPUT=${MSI_FILE} -DEPOCH=${SOURCE_DATE_EPOCH} -DSIGN=${VEXA_SIGN} -P ${CMAKE_SOURCE_DIR}/cmake/msi.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/setup/vexaWriter.wxs ${CMAKE_SOURCE_DIR}/cmake/msi.cmake
            ${CMAKE_SOURCE_DIR}/cmake/msi_summary.py ${CMAKE_SOURCE_DIR}/cmake/msi_file_versions.py
            ${ZIP_OUTPUT} vexaMsiActions
    COMMENT "Making the MSI package vexaWriter.msi"
    VERBATIM)
  add_custom_target(msi_package ALL DEPENDS ${MSI_FILE})
else()
  message(STATUS "wixl not found: the MSI package is not made")
endif()
