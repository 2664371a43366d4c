# The same sources and library tests for x86_64 (run under 64-bit Wine): mingw-w64 for x86_64.
set(SETUPKIT_TARGET_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
