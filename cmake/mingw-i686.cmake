# The shipped 32-bit programs and every test (run under WoW64): mingw-w64 for i686.
set(SETUPKIT_TARGET_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
