# What ships: the library and the programs built from it, compiled for the oldest Windows the
# programs must start on and linked without the C++ runtime's exception and thread support.

# Windows 2000, the oldest system the edition probe classifies: its headers then hide newer API.
set(SETUPKIT_OLDEST_WINDOWS 0x0500)

# setupkit_shipped_code(TARGET): compile settings of code that ships. Nothing in it throws or
# catches, so it needs no exception tables; no function in it keeps a static that is built on first
# use, so none needs a guard. What several threads share (the release readers' size slots) is
# guarded by hand.
function(setupkit_shipped_code target)
  target_compile_definitions(${target} PRIVATE
    _WIN32_WINNT=${SETUPKIT_OLDEST_WINDOWS} WINVER=${SETUPKIT_OLDEST_WINDOWS})
  if(NOT MSVC)
    # The system runtime's formatted I/O, not mingw's replacement (which brings floating-point
    # formatting and parsing): a source that uses it includes the C headers, which keep this.
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
    # Small code with its debug information (stripped from the programs after linking), each
    # function and datum in a section of its own so that the linker drops what nothing uses.
    target_compile_options(${target} PRIVATE -Os -g -fno-exceptions -fno-asynchronous-unwind-tables
      -fno-rtti -fno-threadsafe-statics -ffunction-sections -fdata-sections)
    # The debug information names the sources relative to the tree's top and the build directory
    # as ".", so that the same sources give the same bytes wherever they are checked out and built
    # (a debugger started at the top of the sources finds them). The build directory's mapping
    # comes last, so it wins where the build lies inside the sources.
    target_compile_options(${target} PRIVATE
      -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
      -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
    # ccache passes a source below its CCACHE_BASEDIR relative to the build directory, which no
    # mapping above catches: what ships is compiled as if ccache were not there.
    foreach(language C CXX)
      get_target_property(launcher ${target} ${language}_COMPILER_LAUNCHER)
      if(launcher MATCHES "ccache")
        set_property(TARGET ${target} PROPERTY ${language}_COMPILER_LAUNCHER
          ${CMAKE_COMMAND} -E env CCACHE_BASEDIR= ${launcher})
      endif()
    endforeach()
  endif()
endfunction()

if(NOT MSVC)
  # Fills the load-configuration directory that GNU ld leaves empty.
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
endif()

# setupkit_add_program(NAME [CONSOLE] [DESCRIPTION text] source...): a shipped program. A GUI
# program unless CONSOLE (whose entry is wmain). Each carries the shared manifest and icon group and
# a version resource with the project's version and its DESCRIPTION, and a load configuration that
# makes Windows take the DLLs its imports pull in from the system folder only. Linked without unused
# sections, then stripped: its debug information stays beside it in NAME.exe.debug, which the
# stripped file names (.gnu_debuglink) for a debugger. Listed in the global property
# SETUPKIT_SHIPPED_PROGRAMS.
function(setupkit_add_program name)
  cmake_parse_arguments(ARG "CONSOLE" "DESCRIPTION" "" ${ARGN})
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "VELMORA ${name}")
  endif()
  set(SETUPKIT_PROGRAM_NAME ${name})
  set(SETUPKIT_PROGRAM_DESCRIPTION "${ARG_DESCRIPTION}")
  set(SETUPKIT_PROGRAM_FILE ${name}.exe)
  set(SETUPKIT_PROGRAM_IS_EXECUTABLE 1)
  set(SETUPKIT_PROGRAM_FILE_TYPE VFT_APP)
  # The programs ask for the highest rights available; a console tool runs as its caller.
  if(ARG_CONSOLE)
    set(SETUPKIT_PROGRAM_MANIFEST console.manifest)
  else()
    set(SETUPKIT_PROGRAM_MANIFEST app.manifest)
  endif()
  set(resources ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/program.rc.in ${resources} @ONLY)
  set_source_files_properties(${resources} PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/app.rc;${PROJECT_SOURCE_DIR}/resources/${SETUPKIT_PROGRAM_MANIFEST};${PROJECT_SOURCE_DIR}/resources/app.ico")

  if(ARG_CONSOLE)
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS} ${resources} $<TARGET_OBJECTS:program_allocation>)
  else()
    add_executable(${name} WIN32 ${ARG_UNPARSED_ARGUMENTS} ${resources} $<TARGET_OBJECTS:program_allocation>)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
  target_link_libraries(${name} PRIVATE setupkit)
  setupkit_shipped_code(${name})
  if(MSVC)
    # The manifest comes from the shared resources; a second one from the linker would collide.
    # 0x800: LOAD_LIBRARY_SEARCH_SYSTEM32.
    target_link_options(${name} PRIVATE /MANIFEST:NO /DEPENDENTLOADFLAG:0x800)
    if(NOT ARG_CONSOLE)
      # The runtime must start the narrow WinMain, which hands the wide command line on to wWinMain.
      target_link_options(${name} PRIVATE /ENTRY:WinMainCRTStartup)
    endif()
  else()
    target_link_options(${name} PRIVATE $<$<BOOL:${ARG_CONSOLE}>:-municode>)
    # The load configuration is referenced by no code: keep it, under its decorated name on x86.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${name} PRIVATE -Wl,--require-defined=__load_config_used)
    else()
      target_link_options(${name} PRIVATE -Wl,--require-defined=_load_config_used)
    endif()
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:load_configuration>)
    setupkit_link_reproducibly_and_strip(${name} LOAD_CONFIGURATION)
  endif()
  set_property(GLOBAL APPEND PROPERTY SETUPKIT_SHIPPED_PROGRAMS ${name})
endfunction()

# setupkit_link_reproducibly_and_strip(TARGET [LOAD_CONFIGURATION]): mingw only. Linked without
# unused sections and without link time in the header: two builds of one commit give the same bytes
# (the stripped file names its .debug file by a checksum of it, so that file must not differ either).
# With LOAD_CONFIGURATION, the directory entry that GNU ld leaves empty is filled while the symbol
# table still names the structure, before the debug information is split off, so that the program
# and its .debug file keep one header.
function(setupkit_link_reproducibly_and_strip target)
  cmake_parse_arguments(ARG "LOAD_CONFIGURATION" "" "" ${ARGN})
  target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--no-insert-timestamp)
  set(fill_load_configuration)
  if(ARG_LOAD_CONFIGURATION)
    set(fill_load_configuration COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/fill_load_config.py
                                $<TARGET_FILE_NAME:${target}>)
  endif()
  # objcopy stamps the file it writes with the time, or with SOURCE_DATE_EPOCH when set.
  add_custom_command(TARGET ${target} POST_BUILD
    ${fill_load_configuration}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

# setupkit_add_module(NAME DESCRIPTION text DEF file source...): a shipped DLL, NAME.dll, exporting
# what the module-definition file lists, with a version resource as the programs have (no manifest
# and no icon: neither means anything in a DLL that a host process loads). Compiled, linked and
# stripped as the programs are and listed with them in SETUPKIT_SHIPPED_PROGRAMS. It may not use
# the C++ runtime's allocation: unlike the programs, it brings no replacement.
function(setupkit_add_module name)
  cmake_parse_arguments(ARG "" "DESCRIPTION;DEF" "" ${ARGN})
  set(SETUPKIT_PROGRAM_NAME ${name})
  set(SETUPKIT_PROGRAM_DESCRIPTION "${ARG_DESCRIPTION}")
  set(SETUPKIT_PROGRAM_FILE ${name}.dll)
  set(SETUPKIT_PROGRAM_IS_EXECUTABLE 0)
  set(SETUPKIT_PROGRAM_FILE_TYPE VFT_DLL)
  set(resources ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/program.rc.in ${resources} @ONLY)
  add_library(${name} SHARED ${ARG_UNPARSED_ARGUMENTS} ${ARG_DEF} ${resources})
  # No "lib" in front of the name: MSI packages and scripts name the file as shipped.
  set_target_properties(${name} PROPERTIES PREFIX "")
  setupkit_shipped_code(${name})
  if(NOT MSVC)
    # The module-definition file names the export undecorated; on i686 the linker then takes the
    # __stdcall symbol (name@bytes) for it, as MSVC's linker does, without warning about it.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
    # A GUI-subsystem DLL, as MSVC's linker makes one by default.
    target_link_options(${name} PRIVATE -Wl,--subsystem,windows)
    setupkit_link_reproducibly_and_strip(${name})
  endif()
  set_property(GLOBAL APPEND PROPERTY SETUPKIT_SHIPPED_PROGRAMS ${name})
endfunction()
