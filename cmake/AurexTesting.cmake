# aurex_add_test(NAME n LABEL unit|e2e|gui SOURCES ... LIBS ... [WORKING_DIRECTORY d] [TIMEOUT s])
# One test executable is one ctest entry, labelled for scripts/test.
function(aurex_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;WORKING_DIRECTORY;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  if(NOT T_WORKING_DIRECTORY)
    set(T_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  aurex_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
  # Backups and run folders of the tests stay in the build tree, never in the user's home.
  set(home ${CMAKE_BINARY_DIR}/test-home)
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache;${T_ENVIRONMENT}")
  if(NOT T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache")
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
