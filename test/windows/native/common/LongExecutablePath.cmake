# Copies the Windows test binary into a directory deep enough that its path
# passes MAX_PATH, starts it there with the report marker (it then writes
# what SysInfo tells it and exits before any test runs) and checks the
# report. Wine starts programs that deep only from the host side, which is
# why this runs here and not inside the test binary.
#
#   cmake -DEMULATOR=<runner;args> -DBINARY=<exe> -DWORK_DIR=<dir>
#         [-DDRIVE_PREFIX=Z:] -P LongExecutablePath.cmake

set(deep "${WORK_DIR}")
string(LENGTH "${DRIVE_PREFIX}${deep}" length)
while(length LESS 300)
  string(APPEND deep "/a-directory-name-of-some-length")
  string(LENGTH "${DRIVE_PREFIX}${deep}" length)
endwhile()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${deep}")
file(COPY_FILE "${BINARY}" "${deep}/LongPathChild.exe")

set(report "${WORK_DIR}/report.txt")
set(ENV{VX_SYSINFO_CHILD_REPORT} "${DRIVE_PREFIX}${report}")
execute_process(
  COMMAND ${EMULATOR} "${deep}/LongPathChild.exe" "with space" last
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the child ended with ${result}")
endif()

file(STRINGS "${report}" lines ENCODING UTF-8)
file(REMOVE_RECURSE "${WORK_DIR}")

string(REPLACE "/" "\\" expected "${DRIVE_PREFIX}${deep}/LongPathChild.exe")
# Report: executable path, count and arguments with the program name, count
# and arguments without it.
list(GET lines 0 path)
if(NOT path STREQUAL expected)
  message(FATAL_ERROR "executable path\n  is       '${path}'\n  expected '${expected}'")
endif()
list(SUBLIST lines 5 3 without)
if(NOT without STREQUAL "2;with space;last")
  message(FATAL_ERROR "arguments without the program name: '${without}'")
endif()
string(LENGTH "${path}" length)
message(STATUS "executable path of ${length} characters reported whole")
