# The host library exports the nineteen functions and nothing else.
# Run as: cmake -DLIBRARY=path -DNM=nm -P check_host_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [TtDdBbRrWwVviu] [^\n]+" rows "${out}")
set(names)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${row}")
  string(REGEX REPLACE "@.*" "" name "${name}")
  if(NOT name STREQUAL "ORVEL_1.0" AND NOT name MATCHES "^_(init|fini)$")
    list(APPEND names ${name})
  endif()
endforeach()
list(SORT names)
set(expected BoardReset CounterGet CounterReset CountersModeSet DacOutputSet DacsEnableSet
    Digitize DigitizerChanSet FaultFlagsGet RelayChanGet RelayChanOutputGet RelayChanSet
    RelayGroupGet RelayGroupOutputGet RelayGroupSet SetBaseAdrs StatusGet WatchdogEnableSet
    WatchdogRefresh)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "19 exports, nothing else")
