# A second compiler for the product: Debian's clang for the 32-bit mingw-w64 target, with the same
# headers, libraries and binutils as the mingw-i686 toolchain. What clang rejects and gcc accepts
# (GNU extensions, designated initializers before C++20) fails here, as it would with MSVC.
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})

# Clang 14 does not recognise Debian's gcc folders (12-win32, 12-posix) and would take the build
# machine's own C++ headers from /usr/include: the target's are named here instead, with the C++
# runtime of the win32 thread model, which the shipped programs' code needs no more of.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-win32 -print-libgcc-file-name
  OUTPUT_VARIABLE gcc_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_dir ${gcc_runtime} DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-resource-dir
  OUTPUT_VARIABLE clang_resources OUTPUT_STRIP_TRAILING_WHITESPACE)
string(JOIN " " target_includes -nostdinc -isystem ${clang_resources}/include
  -isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${TOOLCHAIN_PREFIX}
  -isystem ${gcc_dir}/include/c++/backward -isystem /usr/${TOOLCHAIN_PREFIX}/include)
set(CMAKE_C_FLAGS_INIT "${target_includes}")
set(CMAKE_CXX_FLAGS_INIT "${target_includes}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_dir} -Wno-unused-command-line-argument")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${gcc_dir} -Wno-unused-command-line-argument")
