// The shipped programs are 32-bit: records handed to the platform must have the sizes that
// 32-bit Windows expects. Checked when building for i686; the 64-bit build has its own sizes. The
// i686 tests, run under WoW64, make every call that takes one of these records.
#pragma once

#if defined(_M_IX86) || defined(__i386__)
#define ASSERT_32BIT_SIZE(expression, bytes) \
    static_assert((expression) == (bytes), #expression " must be " #bytes " bytes on 32-bit Windows")
#else
#define ASSERT_32BIT_SIZE(expression, bytes) static_assert(true, "")
#endif
