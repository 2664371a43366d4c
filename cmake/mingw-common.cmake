# The -posix compilers: GoogleTest needs std::mutex, which the win32 thread model lacks. Only the
# tests link the posix C++ runtime (and so winpthread); the shipped programs use neither.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_OBJCOPY ${TOOLCHAIN_PREFIX}-objcopy CACHE FILEPATH "objcopy of the cross binutils")
set(CMAKE_OBJDUMP ${TOOLCHAIN_PREFIX}-objdump CACHE FILEPATH "objdump of the cross binutils")
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests and GoogleTest build faster at -O1 than at CMake's -O3; what ships sets its own -Os.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O1 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O1 -DNDEBUG")
