# strevana_precompile(TARGET [GUI|WIDGETS]): the standard headers nearly every
# file includes, and with GUI or WIDGETS the Qt ones, are compiled once per
# target instead of parsed again for every file; parsing them was half of a
# file's compile time where Qt is involved. Every file still includes what it
# uses: -DSTREVANA_PCH=OFF builds without, which shows a missing include.
function(strevana_precompile target)
  get_target_property(type ${target} TYPE)
  if(NOT STREVANA_PCH OR type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  set(headers <algorithm> <chrono> <cstdint> <functional> <memory> <mutex> <optional> <string>
              <thread> <vector>)
  if(ARGV1 STREQUAL "GUI" OR ARGV1 STREQUAL "WIDGETS")
    list(APPEND headers <QImage> <QPainter> <QString>)
  endif()
  if(ARGV1 STREQUAL "WIDGETS")
    list(APPEND headers <QApplication> <QWidget>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# strevana_library(NAME DIR [DEPS ...])
# Builds every .cpp under DIR (recursively, excluding nested library folders
# listed in EXCLUDE) into a static library; a folder without sources yet becomes
# an interface library so that dependants link either way.
function(strevana_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${ex}/")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${STREVANA_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    if("Qt6::Widgets" IN_LIST ARG_DEPS)
      strevana_precompile(${name} WIDGETS)
    elseif("Qt6::Gui" IN_LIST ARG_DEPS)
      strevana_precompile(${name} GUI)
    else()
      strevana_precompile(${name})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# strevana_test(NAME DIR DEPS...): one GoogleTest binary per library, made of
# every .cpp under tests/DIR (eight files to a translation unit with
# STREVANA_UNITY_TESTS).
function(strevana_test name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES UNITY_BUILD ${STREVANA_UNITY_TESTS}
                                           UNITY_BUILD_BATCH_SIZE 8)
  target_compile_options(${name} PRIVATE ${STREVANA_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    STREVANA_FIXTURE_DIR="${PROJECT_BINARY_DIR}/fixtures"
    STREVANA_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    STREVANA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# strevana_fuzz_instrument(LIB): in fuzz builds, instruments the library itself
# (coverage feedback for libFuzzer, address and undefined-behaviour checks),
# not only the fuzz entry points; consumers then link the sanitizer runtimes.
function(strevana_fuzz_instrument lib)
  if(NOT STREVANA_FUZZ OR NOT TARGET ${lib})
    return()
  endif()
  get_target_property(type ${lib} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    target_compile_options(${lib} PRIVATE
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(${lib} INTERFACE -fsanitize=address,undefined)
  endif()
endfunction()
