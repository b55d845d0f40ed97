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
  if(CUBE_SANITIZE_THREAD)
    if(CUBE_SANITIZE)
      message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer (CUBE_SANITIZE)")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
elseif(CUBE_LANE STREQUAL "web")
  if(NOT EMSCRIPTEN)
    message(FATAL_ERROR "CUBE_LANE=web needs Emscripten's toolchain file")
  endif()
  if(NOT EXISTS "${CUBE_FREETYPE_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "no FreeType source at CUBE_FREETYPE_SOURCE '${CUBE_FREETYPE_SOURCE}': run scripts/setup web")
  endif()
  # Debian's Emscripten has an older C++ library: what the system uses of
  # C++20 and it lacks comes from one header given to every file.
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-include${CMAKE_SOURCE_DIR}/platform/web/compat.h>")
  # Windows keeps the first 64 KB of addresses free, so a number below
  # 0x10000 in a pointer's place is an atom or a resource number, never
  # data (IS_INTRESOURCE); a page's data starts there too.
  add_link_options(-sGLOBAL_BASE=65536 -sTOTAL_STACK=4194304)
else()
  message(FATAL_ERROR "unknown CUBE_LANE '${CUBE_LANE}'")
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|x86$" OR CUBE_LANE STREQUAL "web")
  set(CUBE_RUNNABLE OFF)
else()
  set(CUBE_RUNNABLE ON)
endif()
