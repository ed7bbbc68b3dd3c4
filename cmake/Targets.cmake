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
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
