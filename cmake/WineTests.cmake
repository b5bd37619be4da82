# Test programs are Windows executables; CTest starts them through the
# emulator (scripts/wine-run configured into the build folder), which points
# Wine at the build's private prefix. scripts/test keeps one primed wineserver
# and a display running for the whole run.
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)

# parlomind_gtest(name SOURCES ... [LIBS ...] [DEPENDS targets...] [TIMEOUT s] [LABELS ...])
# A GoogleTest program run as one CTest test. DEPENDS names the helper
# programs it starts (they land beside it in bin/).
function(parlomind_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE test_support parlomind_core deps::gtest_main ${T_LIBS})
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}" ${T_PROPERTIES})
endfunction()

# A console helper program that tests start (a stand-in package, a probe).
function(parlomind_helper_exe name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE parlomind_core)
endfunction()
