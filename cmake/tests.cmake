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

# What each test changes of its host that another test reads or changes too, as CTest resource locks,
# so that no two tests that share one run at once:
#   start_menu     the Programs folders of either scope, or where the shell finds them
#   environment    the environment keys of either scope, or a wait on their broadcasts
#   local_relinfo  the relinfo.xml beside the test programs
# A test that runs postinstall or preuninstall takes start_menu and environment: the programs write
# both. Every test is listed, one that changes none of them with "-": setupkit_lock_tests() refuses a
# test that is not, so a new one cannot be added without saying what it changes.
set(SETUPKIT_TEST_LOCKS
  "test_host_start -" "test_host_stop -"
  "strings_test -" "paths_test -" "paths_test_shared_access -" "release_info_test local_relinfo"
  "os_edition_test -" "registry_probes_test -" "environment_test environment"
  "language_test -" "language_test_de_AT.UTF-8 -" "language_test_fr_CA.UTF-8 -" "language_test_ja_JP.UTF-8 -"
  "language_test_it_IT.UTF-8 -" "launching_test -" "launching_test_bounded_runs -"
  "messages_test -" "scope_test -" "shortcuts_test local_relinfo start_menu"
  "deliverables_test start_menu environment" "deliverables_sign -"
  "postinstall_shortcut_test start_menu environment" "postinstall_environment_test start_menu environment"
  "preuninstall_test start_menu environment" "step_log_test start_menu environment"
  "setupcheck_test start_menu environment"
  "installers_build -" "installers_build_previous -" "installers_build_failing -" "installers_samples_agree -"
  "installers_test start_menu environment")

# Each directory that adds a test gives its tests their locks when its CMakeLists.txt has been read
# (CMake before 3.28 sets a test's properties only in its own directory); setupkit_check_test_locks(),
# called once after the last test is added, refuses a test that is not listed or not given its locks.
function(setupkit_lock_tests_of_this_directory)
  get_directory_property(deferred SETUPKIT_TEST_LOCKS_DEFERRED)
  if(NOT deferred)
    set_directory_properties(PROPERTIES SETUPKIT_TEST_LOCKS_DEFERRED ON)
    cmake_language(DEFER CALL setupkit_apply_test_locks)
  endif()
endfunction()

function(setupkit_apply_test_locks)
  get_directory_property(tests TESTS)
  foreach(test ${tests})
    foreach(entry ${SETUPKIT_TEST_LOCKS})
      string(REPLACE " " ";" entry "${entry}")
      list(POP_FRONT entry name)
      list(REMOVE_ITEM entry -)
      if(name STREQUAL test AND entry)
        list(TRANSFORM entry PREPEND setupkit_)
        set_tests_properties(${test} PROPERTIES RESOURCE_LOCK "${entry}")
      endif()
    endforeach()
  endforeach()
endfunction()

function(setupkit_check_test_locks)
  set(names)
  foreach(entry ${SETUPKIT_TEST_LOCKS})
    string(REGEX REPLACE " .*" "" name "${entry}")
    list(APPEND names ${name})
  endforeach()
  set(directories ${CMAKE_CURRENT_SOURCE_DIR})
  while(directories)
    list(POP_FRONT directories directory)
    get_directory_property(subdirectories DIRECTORY ${directory} SUBDIRECTORIES)
    list(APPEND directories ${subdirectories})
    get_directory_property(tests DIRECTORY ${directory} TESTS)
    get_directory_property(deferred DIRECTORY ${directory} SETUPKIT_TEST_LOCKS_DEFERRED)
    foreach(test ${tests})
      if(NOT test IN_LIST names OR NOT deferred)
        message(FATAL_ERROR "The test ${test} has no entry in SETUPKIT_TEST_LOCKS (cmake/tests.cmake), or "
                            "its directory adds no test through setupkit_add_test: say what it changes of "
                            "the test host (\"-\" for nothing) and add it where its locks are given")
      endif()
    endforeach()
  endwhile()
endfunction()

# Where the test programs run through an emulator (the toolchain's), it keeps one session for the
# whole run, started by its --start before the first test and ended by its --stop after the last:
# every test requires the fixture test_host. Run natively, nothing sets it up.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME test_host_start COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --start)
  set_tests_properties(test_host_start PROPERTIES FIXTURES_SETUP test_host)
  add_test(NAME test_host_stop COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --stop)
  set_tests_properties(test_host_stop PROPERTIES FIXTURES_CLEANUP test_host)
  setupkit_lock_tests_of_this_directory()
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
  setupkit_lock_tests_of_this_directory()
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
