# Project helpers: product libraries, tests with labels, benchmarks.
include(GoogleTest)

# vx_add_library(<name> SOURCES ... [LIBS ...])
# A static library of product code (drivers, platform, signal library).
# Every such library is scanned by the hygiene check for mutable statics.
function(vx_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY VX_PRODUCT_LIBRARIES ${name})
endfunction()

# Test code is built without optimisation: it is mostly parsing and test
# scaffolding, the code under test keeps its own optimisation in its libraries,
# and the sanitizers' checks make optimising the framework's macros the
# largest part of the whole build. The test framework's headers are parsed
# once, into a precompiled header every test binary reuses, and each test
# binary's sources are compiled in unity batches, so the project's own headers
# are parsed once per batch: a test file keeps its helpers in an anonymous
# namespace under names no other file of its binary uses.
set(VX_TEST_OPTIONS -O0)

# vx_test_pch: an object library that only owns the shared precompiled header.
function(vx_add_test_pch)
  file(WRITE ${CMAKE_BINARY_DIR}/vx_test_pch.cpp "// Owner of the tests' precompiled header.\n")
  add_library(vx_test_pch OBJECT ${CMAKE_BINARY_DIR}/vx_test_pch.cpp)
  target_link_libraries(vx_test_pch PRIVATE GTest::gtest GTest::gmock)
  target_compile_options(vx_test_pch PRIVATE ${VX_TEST_OPTIONS})
  target_precompile_headers(vx_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
endfunction()

# vx_add_test(<name> LABEL <label> SOURCES ... [LIBS ...])
# A GoogleTest binary whose tests all carry <label>; `ctest -L <label>` runs them.
function(vx_add_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "vx_add_test(${name}) needs a LABEL")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${VX_TEST_OPTIONS})
  target_precompile_headers(${name} REUSE_FROM vx_test_pch)
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL})
endfunction()

# vx_add_bench(<name> SOURCES ... [LIBS ...])
# A Google Benchmark program; `make bench` builds and runs all of them. The
# sanitizer build (the test build) leaves them out of its default target: no
# test runs them, and timings under the sanitizers would say nothing.
function(vx_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(VX_SANITIZE)
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  set_property(GLOBAL APPEND PROPERTY VX_BENCHMARKS ${name})
endfunction()

# Called once at the end of the top-level list file: targets that need
# every library and benchmark of the tree.
function(vx_finish)
  get_property(libs GLOBAL PROPERTY VX_PRODUCT_LIBRARIES)
  set(files "")
  foreach(lib IN LISTS libs)
    list(APPEND files $<TARGET_FILE:${lib}>)
  endforeach()
  add_test(NAME hygiene.ProductLibrariesHaveNoMutableStatics
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-statics
            --allowlist ${CMAKE_SOURCE_DIR}/scripts/statics-allowlist ${files})
  # Defined last but among the longest tests: a high cost makes ctest start it
  # first, so it does not run alone at the end of a parallel run.
  set_tests_properties(hygiene.ProductLibrariesHaveNoMutableStatics PROPERTIES
                       LABELS hygiene COST 1000)

  get_property(benches GLOBAL PROPERTY VX_BENCHMARKS)
  set(commands "")
  foreach(b IN LISTS benches)
    list(APPEND commands COMMAND $<TARGET_FILE:${b}> --benchmark_repetitions=5
                                 --benchmark_report_aggregates_only=true)
  endforeach()
  add_custom_target(run_benchmarks ${commands} DEPENDS ${benches} USES_TERMINAL)
  # The fuzz targets' long runs (VxFuzz.cmake) go with the benchmark run.
  get_property(fuzz_runs GLOBAL PROPERTY VX_FUZZ_LONG_RUNS)
  if(fuzz_runs)
    add_dependencies(run_benchmarks ${fuzz_runs})
  endif()
endfunction()
