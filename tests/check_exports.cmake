# Fails unless the shared library defines exactly its C interface's functions among its dynamic symbols.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm could not read ${LIBRARY}")
endif()
# EXPECTED lists them (the compiler library's); without it, the evaluation library's.
if(DEFINED EXPECTED)
  set(expected ${EXPECTED})
else()
  set(expected
    FLT1_BeginSample FLT1_CreateFilter FLT1_DestroyFilter FLT1_EndSample FLT1_FilterRecord FLT1_FilterRecords FLT1_GetFilter
    FLT1_ModifyPredicate FLT1_RetrieveRecord FLT1_TranslateFilterPlanNCS FLT1_TranslateLiteralPoolNCS
    VEXH_ResetTraceLevels VEXH_SetClock VEXH_SetTraceLevel VEXH_SetTraceSink)
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(found)
foreach(line IN LISTS lines)
  # "address type name"; version definition entries (type A) are not functions.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ ]+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND found ${CMAKE_MATCH_2})
  endif()
endforeach()
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported: ${found}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${found}")
