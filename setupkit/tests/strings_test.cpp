#include "setupkit/strings.h"

#include <gtest/gtest.h>

TEST(ConcatStrings, JoinsPiecesInOrderSkippingNulls)
{
    wchar_t* joined = concat_strings(3, L"a", nullptr, L"b");
    EXPECT_STREQ(L"ab", joined);
    free_string(&joined);

    joined = concat_strings(3, L"C:\\Root", L"\\Framework\\bin\\", L"Win64\\");
    EXPECT_STREQ(L"C:\\Root\\Framework\\bin\\Win64\\", joined);
    free_string(&joined);
}

TEST(ConcatStrings, CountZeroOrOnlyNullsGivesEmptyString)
{
    wchar_t* joined = concat_strings(0);
    ASSERT_NE(nullptr, joined);
    EXPECT_STREQ(L"", joined);
    free_string(&joined);

    joined = concat_strings(2, nullptr, nullptr);
    ASSERT_NE(nullptr, joined);
    EXPECT_STREQ(L"", joined);
    free_string(&joined);
}

TEST(FreeString, ClearsPointerAndToleratesSecondRelease)
{
    wchar_t* text = concat_strings(1, L"x");
    free_string(&text);
    EXPECT_EQ(nullptr, text);
    free_string(&text);
    EXPECT_EQ(nullptr, text);
}
