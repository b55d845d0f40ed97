# GoogleTest for the lane: Debian's package on Linux, built from Debian's
# source package for the MinGW lanes. Nothing is downloaded.
if(CUBE_LANE STREQUAL "hosted")
  find_package(GTest REQUIRED)
else()
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

include(GoogleTest)

if(CUBE_LANE STREQUAL "windows" AND CUBE_RUNNABLE)
  # Windows tests run under wine64 with this build folder's own prefix and
  # display (see cmake/wine-run.sh).
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

# cube_add_test(name SOURCES ... [HOSTED_ONLY] [THREADED] [LIBS ...])
# Shared tests build on every lane and are registered wherever the lane can
# run them; HOSTED_ONLY tests use the substitute's own hooks. THREADED tests
# start threads of their own: the ThreadSanitizer build builds and runs only
# them, so that it stays small (the others are there, built on request).
function(cube_add_test name)
  cmake_parse_arguments(T "HOSTED_ONLY;THREADED" "" "SOURCES;LIBS" ${ARGN})
  if(T_HOSTED_ONLY AND NOT CUBE_LANE STREQUAL "hosted")
    return()
  endif()
  set(excluded "")
  if(CUBE_SANITIZE_THREAD AND NOT T_THREADED)
    set(excluded EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} ${excluded} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support GTest::gtest)
  if(T_HOSTED_ONLY)
    target_link_libraries(${name} PRIVATE platform_hooks)
  endif()
  if(CUBE_RUNNABLE AND NOT excluded)
    # Hosted tests never reach for a real screen: the substitute's display
    # is the headless one whatever the developer's session offers.
    set(test_env "")
    if(CUBE_LANE STREQUAL "hosted")
      set(test_env ENVIRONMENT CUBE_DISPLAY=headless)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300
                         PROPERTIES TIMEOUT 120 ${test_env})
  endif()
endfunction()
