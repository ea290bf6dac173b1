# Runs two geoconv-bitdump programs (A and B) and fails unless their outputs
# are identical.
execute_process(COMMAND ${A} OUTPUT_FILE ${OUT}/bitdump-a.txt RESULT_VARIABLE ra)
execute_process(COMMAND ${B} OUTPUT_FILE ${OUT}/bitdump-b.txt RESULT_VARIABLE rb)
if(NOT ra EQUAL 0 OR NOT rb EQUAL 0)
  message(FATAL_ERROR "bitdump failed: ${ra} ${rb}")
endif()
file(STRINGS ${OUT}/bitdump-a.txt la)
list(LENGTH la n)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/bitdump-a.txt ${OUT}/bitdump-b.txt
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "results differ between ${A} and ${B}")
endif()
message(STATUS "${n} result lines identical")
