# cmake -DROOT=<source dir> -DSTAMP=<file> -P check_layers.cmake
# Fails when a file of one layer includes a header of a layer it does not
# stand on (see layers.cmake); writes STAMP when every include is allowed.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

set(problems "")
foreach(layer IN LISTS CUBE_LAYERS)
  set(allowed ${layer} ${CUBE_LAYER_USES_${layer}})
  set(below "${CUBE_LAYER_USES_${layer}}")
  if(NOT below)
    set(below "nothing")
  endif()
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]*)/.*$" "\\1" top "${line}")
      if(top STREQUAL line)
        continue()  # no folder in the name: the file's own neighbour or platform.h
      endif()
      if(top IN_LIST CUBE_LAYERS AND NOT top IN_LIST allowed)
        file(RELATIVE_PATH name "${ROOT}" "${file}")
        string(STRIP "${line}" line)
        string(APPEND problems "  ${name}: ${line} (${layer} stands on ${below})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "includes across the layers the wrong way:\n${problems}")
endif()
file(WRITE "${STAMP}" "layers checked\n")
