# Fails unless `nm -D --defined-only` of LIBRARY lists exactly the twelve exports.
# Run as: cmake -DNM=<nm> -DLIBRARY=<file> -P CheckExports.cmake
set(expected
  msc_Close msc_Create msc_Finalize msc_GetInfo msc_GetLastError msc_IOCtrl
  msc_Initialize msc_IsConnected msc_Open msc_ReadEvent msc_ResetEventQueue msc_WaitEvent)

if(NOT NM OR NOT LIBRARY)
  message(FATAL_ERROR "NM and LIBRARY must be given")
endif()
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

# Each line: value, type letter, name (the name may carry @version).
set(names)
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] +([^ ]+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "Unexpected nm line: ${line}")
  endif()
endforeach()
list(SORT names)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "Exported: ${names}\nExpected: ${expected}")
endif()
message(STATUS "libArdentis exports exactly the twelve names")
