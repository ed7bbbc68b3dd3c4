# Each subsystem keeps its sources in folders; new files join their target without
# editing the build.

# korvel_glob(<out-var> <dir>...): the C++ sources directly inside the folders.
function(korvel_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# The test executables whose tests start threads of the code under test; CI runs
# them (CTest label "threads") under ThreadSanitizer.
set(KORVEL_THREADED_TESTS
  platform_tests stationlib_tests ardentis_tests ardentis_unload_tests utility_tests bridge_tests e2e_tests)

# korvel_discover_tests(<name> <timeout>): registers each test of the GoogleTest
# executable with CTest, labelled "threads" if it is one of the list above.
function(korvel_discover_tests name timeout)
  set(properties TIMEOUT ${timeout})
  if(name IN_LIST KORVEL_THREADED_TESTS)
    list(APPEND properties LABELS threads)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# korvel_unit_tests(<name> <dir> LIBS <lib>...): one GoogleTest executable from the
# sources in <dir>, each test registered with CTest.
function(korvel_unit_tests name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  korvel_glob(sources ${dir})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  korvel_discover_tests(${name} 120)
endfunction()

# korvel_layer_folders(<out-var> <root> <folder=level>...): the layer folders under
# <root>, bottom first, as paths for korvel_glob.
function(korvel_layer_folders out root)
  set(folders)
  foreach(entry IN LISTS ARGN)
    string(REGEX REPLACE "=.*" "" folder "${entry}")
    list(APPEND folders ${CMAKE_CURRENT_SOURCE_DIR}/${root}/${folder})
  endforeach()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# korvel_include_layer_test(<test> <root> <folder=level>...): a CTest check that
# no source under <root> includes a folder at its own level or above.
function(korvel_include_layer_test name root)
  string(REPLACE ";" "," layers "${ARGN}")
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_CURRENT_SOURCE_DIR}/${root} "-DLAYERS=${layers}"
                   -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeLayers.cmake)
endfunction()
