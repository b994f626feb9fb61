# The unit tests of a Java project of this folder, in process: JUnit 5
# (Debian's junit5, its console launcher), one CTest test <prefix>.<Class>
# per test class under src/test/java, which fails when any of its tests
# fails. Without the console launcher one test reports the reason and counts
# as skipped.
#   vx_add_junit_tests(<prefix> <package> <jar target>)
function(vx_add_junit_tests prefix package jar_target)
  find_file(VX_JUNIT_CONSOLE junit-platform-console-standalone.jar PATHS /usr/share/java NO_DEFAULT_PATH)
  if(NOT VX_JUNIT_CONSOLE)
    set(reason "no JUnit 5 console launcher (scripts/install-deps.sh installs junit5)")
    message(STATUS "The ${prefix} unit tests will be reported as skipped: ${reason}")
    add_test(NAME ${prefix}.unit.SKIPPED COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: ${reason}")
    set_tests_properties(${prefix}.unit.SKIPPED PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED")
    return()
  endif()

  get_target_property(jar ${jar_target} JAR_FILE)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/test/java/*.java)
  add_jar(${jar_target}-tests
    SOURCES ${sources}
    INCLUDE_JARS ${jar_target} ${VX_JUNIT_CONSOLE}
    OUTPUT_DIR ${CMAKE_CURRENT_BINARY_DIR})
  get_target_property(test_jar ${jar_target}-tests JAR_FILE)

  file(GLOB_RECURSE classes RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/src/test/java
    CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/test/java/*Test.java)
  foreach(class ${classes})
    string(REGEX REPLACE "\\.java$" "" class "${class}")
    string(REPLACE "/" "." class "${class}")
    string(REPLACE "${package}." "" name "${class}")
    add_test(NAME ${prefix}.${name}
      COMMAND ${Java_JAVA_EXECUTABLE} -jar ${VX_JUNIT_CONSOLE} --disable-banner --disable-ansi-colors
        --fail-if-no-tests --details=tree
        --class-path ${jar}:${test_jar} --select-class ${class})
    set_tests_properties(${prefix}.${name} PROPERTIES TIMEOUT 300)
  endforeach()
endfunction()
