# Runs contact_sheet (TOOL) with column counts it must refuse, each before
# reading a frame, and with the largest it must take.
set(frames missing-0.png missing-1.png missing-2.png)
foreach(columns "0" "-1" "abc" "2x" "" "4" "2147483648" "99999999999999999999999")
  execute_process(COMMAND ${TOOL} out.png "${columns}" ${frames} RESULT_VARIABLE code ERROR_VARIABLE err)
  if(NOT code EQUAL 2 OR NOT err MATCHES "COLUMNS must be a number from 1 to the number of frames \\(3\\)")
    message(FATAL_ERROR "COLUMNS \"${columns}\": exit ${code}, ${err}")
  endif()
endforeach()
execute_process(COMMAND ${TOOL} out.png 3 ${frames} RESULT_VARIABLE code ERROR_VARIABLE err)
if(NOT code EQUAL 1 OR NOT err MATCHES "cannot read missing-0.png")
  message(FATAL_ERROR "COLUMNS 3: exit ${code}, ${err}")
endif()
