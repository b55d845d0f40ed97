# Compiler settings shared by every target of a lane.
add_compile_options(-Wall -Wextra)

if(CUBE_LANE STREQUAL "windows")
  if(NOT WIN32)
    message(FATAL_ERROR "CUBE_LANE=windows needs a MinGW toolchain file")
  endif()
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Self-contained executables: wine needs no MinGW runtime DLLs beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
elseif(CUBE_LANE STREQUAL "hosted")
  if(CUBE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
else()
  message(FATAL_ERROR "unknown CUBE_LANE '${CUBE_LANE}'")
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|x86$")
  set(CUBE_RUNNABLE OFF)
else()
  set(CUBE_RUNNABLE ON)
endif()
