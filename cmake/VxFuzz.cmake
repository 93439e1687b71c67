# vx_add_fuzz(<name> LABEL <label> SOURCES ... LIBS ... SEEDS <dir>
#             [RUNS <n>] [LONG_RUNS <n>])
# A fuzz target: SOURCES define LLVMFuzzerTestOneInput, LIBS are the product
# libraries it exercises (standard library only), SEEDS a folder of example
# inputs. The test `<name>.Short` (label <label>) runs the seeds and then RUNS
# generated inputs from a fixed seed; the target `<name>_long`, which the
# benchmark run also runs, goes on for LONG_RUNS inputs.
#
# With clang++ and its libFuzzer runtime the target is a libFuzzer program,
# built by clang++ with AddressSanitizer and UndefinedBehaviorSanitizer
# whatever the project's compiler is. Without them it is the same entry point
# under fuzz_random_driver.cpp, a seeded random mutator built like any test
# (so the sanitizer build sanitizes it).

find_program(VX_CLANGXX NAMES clang++)
if(VX_CLANGXX AND NOT DEFINED VX_LIBFUZZER_WORKS)
  set(probe ${CMAKE_BINARY_DIR}/vx_libfuzzer_probe)
  file(WRITE ${probe}.cpp
       "#include <cstddef>\n#include <cstdint>\n"
       "extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
  execute_process(
    COMMAND ${VX_CLANGXX} -std=c++20 -fsanitize=fuzzer,address,undefined ${probe}.cpp -o ${probe}
    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(VX_LIBFUZZER_WORKS ON CACHE INTERNAL "clang++ links libFuzzer programs")
  else()
    set(VX_LIBFUZZER_WORKS OFF CACHE INTERNAL "clang++ links libFuzzer programs")
  endif()
endif()

function(vx_add_fuzz name)
  cmake_parse_arguments(ARG "" "LABEL;SEEDS;RUNS;LONG_RUNS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LABEL OR NOT ARG_SEEDS)
    message(FATAL_ERROR "vx_add_fuzz(${name}) needs a LABEL and SEEDS")
  endif()
  if(NOT ARG_RUNS)
    set(ARG_RUNS 20000)
  endif()
  if(NOT ARG_LONG_RUNS)
    set(ARG_LONG_RUNS 2000000)
  endif()
  cmake_path(ABSOLUTE_PATH ARG_SEEDS BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB seeds CONFIGURE_DEPENDS ${ARG_SEEDS}/*)
  list(JOIN seeds "," seed_list)

  if(VX_LIBFUZZER_WORKS)
    # Every source of the entry point and of the libraries, compiled by clang++.
    set(sources "")
    set(headers "")
    foreach(src IN LISTS ARG_SOURCES)
      cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND sources ${src})
    endforeach()
    foreach(lib IN LISTS ARG_LIBS)
      get_target_property(lib_dir ${lib} SOURCE_DIR)
      get_target_property(lib_sources ${lib} SOURCES)
      foreach(src IN LISTS lib_sources)
        cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${lib_dir})
        list(APPEND sources ${src})
      endforeach()
      file(GLOB lib_headers ${lib_dir}/*.h)
      list(APPEND headers ${lib_headers})
    endforeach()
    set(program ${CMAKE_CURRENT_BINARY_DIR}/libfuzzer/${name})
    add_custom_command(OUTPUT ${program}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/libfuzzer
      COMMAND ${VX_CLANGXX} -std=c++20 -g -O1 -Wall -Wextra -Werror
              -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
              -I${CMAKE_SOURCE_DIR} ${sources} -o ${program}
      DEPENDS ${sources} ${headers}
      COMMENT "Building libFuzzer program ${name}")
    add_custom_target(${name} ALL DEPENDS ${program})
    set(run ${program} -seed=1 -max_len=256 -seed_inputs=${seed_list})
    add_test(NAME ${name}.Short COMMAND ${run} -runs=${ARG_RUNS})
    add_custom_target(${name}_long COMMAND ${run} -runs=${ARG_LONG_RUNS}
                      DEPENDS ${name} USES_TERMINAL)
  else()
    add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/fuzz_random_driver.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    add_test(NAME ${name}.Short COMMAND ${name} --seed 1 --runs ${ARG_RUNS} ${seeds})
    add_custom_target(${name}_long COMMAND ${name} --seed 1 --runs ${ARG_LONG_RUNS} ${seeds}
                      DEPENDS ${name} USES_TERMINAL)
  endif()
  set_tests_properties(${name}.Short PROPERTIES LABELS ${ARG_LABEL})
  set_property(GLOBAL APPEND PROPERTY VX_FUZZ_LONG_RUNS ${name}_long)
endfunction()
