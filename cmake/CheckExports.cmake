# cmake -DOBJDUMP=<objdump> -DBINARY=<exe or dll> -DEXPECTED=<name;...> -P CheckExports.cmake
# Fails unless the binary exports exactly the expected names.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed (${status})")
endif()

# The name table follows "[Ordinal/Name Pointer] Table" as lines
# "\t[   i] name" and ends at the next empty line.
set(names "")
string(FIND "${dump}" "[Ordinal/Name Pointer] Table\n" start)
if(NOT start EQUAL -1)
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" entries "${table}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${entry}")
    list(APPEND names "${name}")
  endforeach()
endif()

list(SORT names)
set(expected ${EXPECTED})
list(SORT expected)
if(NOT "${names}" STREQUAL "${expected}")
  message(FATAL_ERROR "${BINARY} exports [${names}], expected [${expected}]")
endif()
message(STATUS "${BINARY} exports exactly [${names}]")
