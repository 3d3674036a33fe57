# aurex_add_test(NAME n LABEL unit|e2e|gui SOURCES ... LIBS ... [WORKING_DIRECTORY d] [TIMEOUT s]
#                [SHARDS k] [COST c] [NO_ENTRY])
# One test executable is one ctest entry, labelled for scripts/test. SHARDS splits a long one into
# k entries (n_1_of_k ...), each running every k-th of its tests, so that ctest -j keeps running
# while most tests wait on the simulated line. COST (seconds, a guess) makes ctest start the long
# ones first on a clean build, which has no timings of its own yet. NO_ENTRY leaves the entries to
# aurex_add_test_entry, for a test split another way.
function(aurex_add_test)
  cmake_parse_arguments(T "NO_ENTRY" "NAME;LABEL;WORKING_DIRECTORY;TIMEOUT;SHARDS;COST" "SOURCES;LIBS;ENVIRONMENT"
                        ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  aurex_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(T_NO_ENTRY)
    return()
  endif()
  set(common EXECUTABLE ${T_NAME} LABEL ${T_LABEL} WORKING_DIRECTORY "${T_WORKING_DIRECTORY}"
             TIMEOUT "${T_TIMEOUT}" COST "${T_COST}")
  if(NOT T_SHARDS OR T_SHARDS LESS 2)
    aurex_add_test_entry(NAME ${T_NAME} ${common} ENVIRONMENT ${T_ENVIRONMENT})
  else()
    math(EXPR last "${T_SHARDS} - 1")
    foreach(index RANGE ${last})
      math(EXPR number "${index} + 1")
      aurex_add_test_entry(NAME ${T_NAME}_${number}_of_${T_SHARDS} ${common}
        ENVIRONMENT ${T_ENVIRONMENT} GTEST_TOTAL_SHARDS=${T_SHARDS} GTEST_SHARD_INDEX=${index})
    endforeach()
  endif()
endfunction()

# aurex_add_test_entry(NAME entry EXECUTABLE exe LABEL l [ARGS ...] [ENVIRONMENT ...]
#                      [WORKING_DIRECTORY d] [TIMEOUT s] [COST c])
# One ctest entry that runs a test executable, with its runs' files kept in the build tree.
function(aurex_add_test_entry)
  cmake_parse_arguments(E "" "NAME;EXECUTABLE;LABEL;WORKING_DIRECTORY;TIMEOUT;COST" "ARGS;ENVIRONMENT" ${ARGN})
  if(NOT E_WORKING_DIRECTORY)
    set(E_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 300)
  endif()
  add_test(NAME ${E_NAME} COMMAND ${E_EXECUTABLE} ${E_ARGS} WORKING_DIRECTORY ${E_WORKING_DIRECTORY})
  # Backups and run folders of the tests stay in the build tree, never in the user's home.
  set(home ${CMAKE_BINARY_DIR}/test-home)
  set(environment "XDG_DATA_HOME=${home}/data" "XDG_CACHE_HOME=${home}/cache" ${E_ENVIRONMENT})
  if(E_LABEL STREQUAL "e2e")
    # Against the simulated radio, a reply time-out the time scale shortens keeps three seconds of real
    # time: a program waiting its turn on a busy machine is not taken for a silent radio. The unit
    # tests measure the time-outs themselves and keep them as they are.
    list(PREPEND environment "AUREX_TIMEOUT_FLOOR_MS=3000")
  endif()
  set_tests_properties(${E_NAME} PROPERTIES LABELS ${E_LABEL} TIMEOUT ${E_TIMEOUT} ENVIRONMENT "${environment}")
  if(E_COST)
    set_tests_properties(${E_NAME} PROPERTIES COST ${E_COST})
  endif()
endfunction()

# aurex_add_fuzz_target(NAME n SOURCES ... LIBS ... CORPUS dir)
# In the fuzz build this is a libFuzzer binary run for AUREX_FUZZ_SECONDS; in every other build
# the same entry point replays the stored corpus as a regression test.
function(aurex_add_fuzz_target)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  aurex_warnings(${F_NAME})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  if(AUREX_FUZZ)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${F_NAME}
             COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer ${AUREX_FUZZ_SECONDS} $<TARGET_FILE:${F_NAME}> ${F_CORPUS})
    set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 600)
  else()
    target_sources(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${F_CORPUS})
    set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()
