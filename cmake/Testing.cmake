# GoogleTest for the current target, built from Debian's source, and the
# registration of test binaries with CTest (through Wine when cross-compiling).
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(VX_TEST_TIMEOUT 120)

# Can this build's Windows binaries run here? wine64 runs x86_64 programs;
# i686 programs need wine32, which is not always installable.
set(VX_TESTS_RUNNABLE ON)
set(VX_TESTS_SKIP_REASON "")
if(CMAKE_CROSSCOMPILING)
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh --arch=${CMAKE_SYSTEM_PROCESSOR} --check
    RESULT_VARIABLE vx_wine_check OUTPUT_VARIABLE vx_wine_reason ERROR_VARIABLE vx_wine_reason
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT vx_wine_check EQUAL 0)
    set(VX_TESTS_RUNNABLE OFF)
    set(VX_TESTS_SKIP_REASON "${vx_wine_reason}")
    message(STATUS "Tests of this build will be reported as skipped: ${vx_wine_reason}")
  endif()
elseif(VX_HOST_M32)
  # A kernel without 32-bit support runs no i686 program, multilib or not.
  file(WRITE ${CMAKE_BINARY_DIR}/m32-probe.c "int main(void) { return 0; }\n")
  try_run(vx_m32_run vx_m32_compiled ${CMAKE_BINARY_DIR}/m32-probe ${CMAKE_BINARY_DIR}/m32-probe.c
    COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32 COMPILE_OUTPUT_VARIABLE vx_m32_output)
  if(NOT vx_m32_compiled)
    set(VX_TESTS_RUNNABLE OFF)
    set(VX_TESTS_SKIP_REASON "32-bit programs cannot be built here (g++-multilib missing?)")
  elseif(NOT vx_m32_run EQUAL 0)
    set(VX_TESTS_RUNNABLE OFF)
    set(VX_TESTS_SKIP_REASON "this machine cannot run 32-bit x86 programs (its kernel has no 32-bit support)")
  endif()
  if(NOT VX_TESTS_RUNNABLE)
    message(STATUS "Tests of this build will be reported as skipped: ${VX_TESTS_SKIP_REASON}")
  endif()
endif()

# A test named <name>.SKIPPED that only reports the reason and is counted as
# skipped.
function(vx_add_skipped_test name reason)
  add_test(NAME ${name}.SKIPPED COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED ${name}: ${reason}")
  set_tests_properties(${name}.SKIPPED PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED")
endfunction()

# Registers a test binary. Where the binaries cannot run, one test per
# binary reports the reason and is counted as skipped, never silently dropped.
function(vx_register_tests target)
  if(VX_TESTS_RUNNABLE)
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${VX_TEST_TIMEOUT})
  else()
    vx_add_skipped_test(${target} "${VX_TESTS_SKIP_REASON}")
  endif()
endfunction()

function(vx_add_gtest target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gtest_main)
  vx_set_warnings(${target})
  vx_register_tests(${target})
endfunction()
