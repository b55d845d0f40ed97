# cmake [-DEMULATOR=<wine-run.sh>] -DPROGRAM=<card> [-DGOLDEN=<bmp>] -P card_program_test.cmake
# Runs the test card for frame 0 with --save-frame, in the working folder,
# and compares what it wrote byte for byte with the golden picture; without
# GOLDEN, only that it ran and wrote a whole 640 x 480 picture. A command
# line the card does not take must end it with 2 and a usage line.
set(out card-frame-0.bmp)
file(REMOVE ${out})
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --save-frame 0 ${out} RESULT_VARIABLE code ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "card --save-frame 0: exit ${code}, ${err}")
endif()
file(SIZE ${out} size)
if(NOT size EQUAL 921654)
  message(FATAL_ERROR "card wrote ${size} bytes, not a 640 x 480 24-bit BMP")
endif()
if(GOLDEN)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${out} ${GOLDEN} RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "frame 0 is not ${GOLDEN} (take it again with scripts/record-card-golden if the card changed)")
  endif()
endif()
file(REMOVE ${out})
foreach(args "--save-frame" "--save-frame;-1;x.bmp" "--save-frame;2x;x.bmp" "--frames;1;x.bmp")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args} RESULT_VARIABLE code ERROR_VARIABLE err)
  if(NOT code EQUAL 2 OR NOT err MATCHES "usage: card")
    message(FATAL_ERROR "card ${args}: exit ${code}, ${err}")
  endif()
endforeach()
