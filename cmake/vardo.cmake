# Project-wide build settings and helpers.

add_library(vardo_warnings INTERFACE)
target_compile_options(vardo_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                       -Wno-missing-field-initializers)
if(VARDO_WERROR)
  target_compile_options(vardo_warnings INTERFACE -Werror)
endif()

# Fuzz builds instrument every library, so the fuzzers see coverage inside the
# code they drive and not only in their own entry points.
if(VARDO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VARDO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The platform backend folder for this system: the build picks it, so no
# subsystem code needs to ask which system it runs on.
if(WIN32)
  set(VARDO_BACKEND win32)
else()
  set(VARDO_BACKEND posix)
endif()

# vardo_add_library(name SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# A subsystem library with its public headers in include/.
function(vardo_add_library name)
  cmake_parse_arguments(A "SHARED;STATIC" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  set(kind STATIC)
  if(A_SHARED)
    set(kind SHARED)
  endif()
  add_library(${name} ${kind} ${A_SOURCES})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE vardo_warnings ${A_PRIVATE_DEPS})
endfunction()

# vardo_add_test(name SOURCES ... [DEPS ...] [LABELS ...])
# One GoogleTest executable; its cases are found when CTest runs, so a build
# never has to execute test binaries.
function(vardo_add_test name)
  if(NOT VARDO_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gmock GTest::gtest GTest::gtest_main vardo_warnings)
  set(labels unit)
  if(A_LABELS)
    set(labels ${A_LABELS})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${labels}" TIMEOUT 600)
endfunction()

# vardo_add_fuzzer(name SOURCES ... DEPS ... [CORPUS dir])
# With VARDO_FUZZ: a libFuzzer executable. Otherwise: the same target file
# linked with a small driver that replays every file of the corpus folder (and
# any files given on its command line), registered as a CTest test.
function(vardo_add_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} vardo_warnings)
  if(VARDO_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(VARDO_TESTS AND A_CORPUS)
      add_test(NAME fuzz_replay.${name} COMMAND ${name} ${A_CORPUS})
      set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
    endif()
  endif()
endfunction()
