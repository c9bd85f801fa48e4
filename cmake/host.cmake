# Host build: the product sources against the simulated Windows, with the tests.
option(VEXA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VEXA_FUZZ "Build the fuzz targets (clang only)" OFF)

set(HOST_FLAGS -fshort-wchar -Wall -Wextra -Wno-unused-parameter)
if(VEXA_SANITIZE)
  list(APPEND HOST_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
       -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VEXA_FUZZ)
  list(APPEND HOST_FLAGS -fsanitize=fuzzer-no-link,address,undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

file(GLOB_RECURSE WINSIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winsim/src/*.cpp)
add_library(winsim STATIC ${WINSIM_SOURCES})
target_include_directories(winsim PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include)
target_compile_options(winsim PUBLIC ${HOST_FLAGS})
target_compile_definitions(winsim PUBLIC UNICODE _UNICODE)

add_library(installer_core STATIC ${INSTALLER_SOURCES})
target_include_directories(installer_core PUBLIC ${CMAKE_SOURCE_DIR}/drv/install)
target_link_libraries(installer_core PUBLIC winsim)

if(NOT VEXA_FUZZ)
  set(GTEST_HAS_STD_WSTRING 0)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -fshort-wchar)
  target_compile_definitions(gtest PUBLIC GTEST_HAS_STD_WSTRING=0)
  target_compile_options(gtest_main PRIVATE -fshort-wchar)

  file(GLOB_RECURSE HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
  # The MSI custom actions' decisions, apart from the platform, are tested here too.
  add_executable(host_tests ${HOST_TEST_SOURCES}
                            ${CMAKE_SOURCE_DIR}/setup/msi_actions/msi_decisions.cpp)
  target_include_directories(host_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host
                                                ${CMAKE_SOURCE_DIR}/setup/msi_actions)
  # Whole-run logs kept as files, because the Wine checks compare the real platform with them.
  target_compile_definitions(host_tests PRIVATE
                             SEQUENCE_LOGS_DIR="${CMAKE_SOURCE_DIR}/tests/host/sequences")
  target_link_libraries(host_tests PRIVATE installer_core gtest gtest_main)

  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*.cpp)
  foreach(source ${BENCH_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE installer_core)
  endforeach()
else()
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE installer_core)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

# The platform conformance probe against the simulated Windows (tests/conformance); its
# transcript is compared with the one the same topics print under Wine.
file(GLOB CONFORMANCE_TOPICS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/topic_*.cpp)
add_executable(conformance_probe ${CMAKE_SOURCE_DIR}/tests/conformance/host_main.cpp
                                 ${CMAKE_SOURCE_DIR}/tests/conformance/probe.cpp
                                 ${CONFORMANCE_TOPICS})
target_link_libraries(conformance_probe PRIVATE winsim)
