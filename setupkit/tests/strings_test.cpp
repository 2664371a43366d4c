#include "setupkit/strings.h"

#include "testsupport/files.h"

#include <gtest/gtest.h>

// The joined string is new, also when empty; free_string clears the pointer and takes it again.
TEST(ConcatStrings, JoinsPiecesInOrderSkippingNullsIntoAStringFreedOnce)
{
    const std::pair<wchar_t*, const wchar_t*> rows[] = {
        {concat_strings(3, L"a", nullptr, L"b"), L"ab"},
        {concat_strings(3, L"C:\\Root", L"\\Framework\\bin\\", L"Win64\\"), L"C:\\Root\\Framework\\bin\\Win64\\"},
        {concat_strings(0), L""},
        {concat_strings(2, nullptr, nullptr), L""},
    };
    for (auto [joined, expected] : rows) {
        SCOPED_TRACE(testsupport::narrow(expected));
        EXPECT_STREQ(expected, joined) << "a null pointer differs from the empty string";
        free_string(&joined);
        EXPECT_EQ(nullptr, joined);
        free_string(&joined);
        EXPECT_EQ(nullptr, joined);
    }
}
