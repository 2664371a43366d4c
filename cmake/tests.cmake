# How the tests are built and run: GoogleTest, the test host's session around a run, and the
# functions the tests' CMakeLists use. Included once, before the test directories.

# GoogleTest as a package where one is installed for this compiler (vcpkg, MSYS2), else built from
# Debian's sources with the same compiler.
find_package(GTest CONFIG QUIET)
if(NOT GTest_FOUND)
  set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(gtest_target gtest gtest_main)
    # Third-party code: our warning flags are not its concern.
    target_compile_options(${gtest_target} PRIVATE $<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-w>)
  endforeach()
endif()

# Where the test programs run through an emulator (the toolchain's), it keeps one session for the
# whole run, started by its --start before the first test and ended by its --stop after the last:
# every test requires the fixture test_host. Run natively, nothing sets it up.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME test_host_start COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --start)
  set_tests_properties(test_host_start PROPERTIES FIXTURES_SETUP test_host)
  add_test(NAME test_host_stop COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --stop)
  set_tests_properties(test_host_stop PROPERTIES FIXTURES_CLEANUP test_host)
endif()

# setupkit_add_test_program(NAME [WIN32] source... LIBRARIES lib...): a wmain program (a probe, a
# tool or a test's child), linked without the test framework.
function(setupkit_add_test_program name)
  cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE $<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-municode>)
endfunction()

# setupkit_add_test(NAME source... [LIBRARIES lib...]): a GoogleTest program, run on the test host.
function(setupkit_add_test name)
  cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE testsupport GTest::gtest_main ${ARG_LIBRARIES})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED test_host TIMEOUT 300)
endfunction()

# setupkit_copy_programs_beside(TESTS test... PROGRAMS program...): copies the built programs (and DLLs) into
# the current build directory, beside the test programs that run them, whenever a program is rebuilt
# (a POST_BUILD step of a test would miss a rebuild of the program alone).
function(setupkit_copy_programs_beside)
  cmake_parse_arguments(ARG "" "" "TESTS;PROGRAMS" ${ARGN})
  set(copies)
  foreach(program ${ARG_PROGRAMS})
    get_target_property(type ${program} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      set(copy ${CMAKE_CURRENT_BINARY_DIR}/${program}.dll)
    else()
      set(copy ${CMAKE_CURRENT_BINARY_DIR}/${program}.exe)
    endif()
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${program}> ${copy}
      DEPENDS ${program})
    list(APPEND copies ${copy})
  endforeach()
  list(GET ARG_TESTS 0 first_test)
  add_custom_target(${first_test}_programs ALL DEPENDS ${copies})
  foreach(test ${ARG_TESTS})
    add_dependencies(${test} ${first_test}_programs)
  endforeach()
endfunction()
