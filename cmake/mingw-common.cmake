# On Linux: Debian's mingw-w64 cross compilers, and the tests run under Wine. On Windows, in MSYS2's
# environment for the architecture (mingw32 for i686, mingw64 for x86_64): the compilers on PATH
# build for this very machine, and the tests run on it directly.
if(CMAKE_HOST_WIN32)
  set(CMAKE_C_COMPILER gcc)
  set(CMAKE_CXX_COMPILER g++)
  set(CMAKE_RC_COMPILER windres)
  set(CMAKE_OBJCOPY objcopy CACHE FILEPATH "objcopy of the binutils")
  set(CMAKE_OBJDUMP objdump CACHE FILEPATH "objdump of the binutils")
else()
  include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
  set(CMAKE_SYSTEM_PROCESSOR ${SETUPKIT_TARGET_PROCESSOR})
  # The -posix compilers: GoogleTest needs std::mutex, which the win32 thread model lacks. Only the
  # tests link the posix C++ runtime (and so winpthread); the shipped programs use neither.
  set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
  # Test programs run under Wine, in a private prefix inside the build tree. The runner also takes
  # --start and --stop, which cmake/tests.cmake calls around a test run: one Wine server for all.
  get_filename_component(wine_runner ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine/run-in-prefix.sh ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${wine_runner} ${CMAKE_BINARY_DIR})
endif()

# The tests and GoogleTest build in two thirds of the time at -O1 than at CMake's -O3; what ships
# sets its own -Os. As cache entries: CMake appends its -O3 to the *_INIT flags, where the later one
# would win.
set(CMAKE_C_FLAGS_RELEASE "-O1 -DNDEBUG" CACHE STRING "Flags of the Release configuration")
set(CMAKE_CXX_FLAGS_RELEASE "-O1 -DNDEBUG" CACHE STRING "Flags of the Release configuration")
