# cmake -DNM=<nm> -DBINARY=<ELF executable> -DEXPECTED=<name> -P CheckDynamicSymbol.cmake
# Fails unless the binary defines the name as a function in its dynamic
# symbol table, where dlsym on the executable finds it.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -D --defined-only ${BINARY}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} -D ${BINARY} failed (${status})")
endif()
if(NOT dump MATCHES "[0-9a-f]+ T ${EXPECTED}\n")
  message(FATAL_ERROR "${BINARY} has no dynamic function symbol ${EXPECTED}")
endif()
message(STATUS "${BINARY} exports ${EXPECTED} dynamically")
