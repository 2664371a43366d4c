#include "setupkit/language.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/platform.h"
#include "testsupport/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

using testsupport::GuardedBuffer;
using testsupport::TempDir;
using testsupport::narrow;

namespace {

// A private profile (APPDATA) and install root for each case, so nothing of the real profile is read
// or written.
class LanguageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_appdata_ = testsupport::process_variable(L"APPDATA");
        ASSERT_TRUE(SetEnvironmentVariableW(L"APPDATA", appdata().c_str()));
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"APPDATA", saved_appdata_ == L"(not set)" ? nullptr : saved_appdata_.c_str());
    }

    std::wstring appdata() const { return profile_ / L"Roaming"; }
    std::wstring root() const { return tree_ / L"Suite Root"; }
    std::wstring user_file() const { return appdata() + L"\\Velmora\\v182\\languagesettings.txt"; }
    std::wstring shared_file() const { return root() + L"\\commonfiles\\Language\\languagesettings.txt"; }

    // resolve_language_code by the two-call protocol, with a buffer of at least one character.
    std::wstring resolve()
    {
        const int size = resolve_language_code(root().c_str(), nullptr, 0);
        GuardedBuffer buffer(size > 0 ? size : 1);
        EXPECT_EQ(0, resolve_language_code(root().c_str(), buffer.reference(), size));
        return GUARDED_TEXT(buffer, buffer.capacity());
    }

    // The value read_setting_value gives for a file holding `bytes`, and its size.
    std::wstring setting_of(const std::string& bytes, int* size)
    {
        const std::wstring path = tree_ / L"settings.txt";
        testsupport::write_bytes(path, bytes);
        *size = read_setting_value(path.c_str(), nullptr, 0);
        GuardedBuffer buffer(*size > 0 ? *size : 1);
        EXPECT_EQ(*size, read_setting_value(path.c_str(), buffer.reference(), *size)) << "the size again after filling";
        return GUARDED_TEXT(buffer, buffer.capacity());
    }

    TempDir profile_;
    TempDir tree_;
    std::wstring saved_appdata_;
};

// The locale the runner gave this process (SETUPKIT_TEST_LANG) and what it must map to.
struct LocaleExpectation {
    bool given = false;
    LCID lcid = 0;
    std::wstring code;
    int index = 0;
};

LocaleExpectation expected_locale()
{
    LocaleExpectation expectation;
    const char* lcid = std::getenv("SETUPKIT_EXPECTED_LCID");
    const char* code = std::getenv("SETUPKIT_EXPECTED_LANGUAGE");
    if (!lcid || !code)
        return expectation;
    const std::string narrow_code = code;
    const char* const codes[] = {"en-us", "de", "fr", "ja"};
    for (int i = 0; i < 4; ++i) {
        if (narrow_code == codes[i])
            expectation.index = i;
    }
    expectation.given = true;
    expectation.lcid = static_cast<LCID>(std::strtoul(lcid, nullptr, 16));
    expectation.code = std::wstring(narrow_code.begin(), narrow_code.end());
    return expectation;
}

} // namespace

TEST(LanguageCode, ComesBackByTwoCallsAndTooSmallOrUnknownLeavesItEmpty)
{
    const wchar_t* const codes[] = {L"en-us", L"de", L"fr", L"ja"};
    for (int index = -1; index < 5; ++index) {
        SCOPED_TRACE(index);
        const std::wstring code = index >= 0 && index < 4 ? codes[index] : L"";
        const int size = code.empty() ? 0 : static_cast<int>(code.size()) + 1;
        ASSERT_EQ(size, get_language_code(index, nullptr, 0));
        GuardedBuffer buffer(size ? size : 10);
        EXPECT_EQ(size, get_language_code(index, buffer.data(), buffer.capacity())) << "the size also after filling";
        EXPECT_EQ(code, GUARDED_TEXT(buffer, static_cast<int>(code.size()) + 1));
        if (size == 0)
            continue;
        // Too small: the empty string where the capacity exceeds 1; a capacity of 1 stays untouched.
        GuardedBuffer small(size - 1);
        GuardedBuffer one(1);
        EXPECT_EQ(size, get_language_code(index, small.data(), size - 1));
        EXPECT_EQ(L"", GUARDED_TEXT(small, 1));
        EXPECT_EQ(size, get_language_code(index, one.data(), 1));
        EXPECT_TRUE(one.untouched());
    }
}

TEST_F(LanguageFiles, SettingValueIsTheFirstTokenAfterItsFirstEquals)
{
    struct Case {
        std::string bytes;
        std::wstring value;
        int size;
    } cases[] = {
        {"lang=fr", L"fr", 3},
        {"lang=" + std::string(75, 'x') + " tail", std::wstring(44, L'x'), 45}, // the token cut at 49 characters
        {"mode=de", L"de", 3},                      // any key name
        {"lang=de\r\nlang=fr\r\nmore", L"de", 3},  // first line only
        {" \t\r\n  lang=ja   trailing", L"ja", 3}, // leading whitespace skipped, first token only
        {"a=b=c", L"b=c", 4},                      // first "=" only
        {"lang=", L"", 1},
        {"lang", L"", 1},                          // no "=": the empty value
        {"", L"", 0},                              // no token
        {" \r\n\t ", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        int size = -1;
        EXPECT_EQ(c.value, setting_of(c.bytes, &size));
        EXPECT_EQ(c.size, size);
    }
}

TEST_F(LanguageFiles, SettingValueTooSmallOrMissingFileLeavesEmptyString)
{
    const std::wstring path = tree_ / L"settings.txt";
    testsupport::write_bytes(path, "lang=en-us");
    GuardedBuffer small(5);
    EXPECT_EQ(6, read_setting_value(path.c_str(), small.reference(), 5));
    EXPECT_EQ(L"", GUARDED_TEXT(small, 1));

    GuardedBuffer buffer(10);
    EXPECT_EQ(0, read_setting_value((tree_ / L"missing.txt").c_str(), buffer.reference(), 10));
    EXPECT_EQ(L"", GUARDED_TEXT(buffer, 1));
}

TEST_F(LanguageFiles, MediaLabelIsTheMarkersFirstTokenCutAtNineCharacters)
{
    const std::wstring directory = tree_ / L"media";
    ASSERT_TRUE(testsupport::make_directories(directory));
    EXPECT_EQ(1, read_media_label(directory.c_str(), nullptr, 0)) << "missing marker: the empty label";
    GuardedBuffer empty(1);
    EXPECT_EQ(0, read_media_label(directory.c_str(), empty.data(), 1));
    EXPECT_EQ(L"", GUARDED_TEXT(empty, 1));

    struct Case {
        const char* bytes;
        const wchar_t* label;
    } cases[] = {{"\r\n DISC1 second", L"DISC1"}, {"ABCDEFGHIJKLMN", L"ABCDEFGHI"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testsupport::write_bytes(directory + L"\\182-1.dvd", c.bytes);
        const int size = static_cast<int>(wcslen(c.label)) + 1;
        ASSERT_EQ(size, read_media_label(directory.c_str(), nullptr, 0));
        GuardedBuffer small(size - 1);
        EXPECT_EQ(size, read_media_label(directory.c_str(), small.data(), size - 1));
        EXPECT_TRUE(small.untouched()) << "too small: never pre-set";
        GuardedBuffer buffer(size);
        EXPECT_EQ(0, read_media_label(directory.c_str(), buffer.data(), size));
        EXPECT_EQ(c.label, GUARDED_TEXT(buffer, size));
    }
}

TEST_F(LanguageFiles, PerUserFileBeatsSharedFileBeatsLocale)
{
    testsupport::write_bytes(user_file(), "lang=fr");
    testsupport::write_bytes(shared_file(), "lang=de");
    EXPECT_EQ(L"fr", resolve());
    GuardedBuffer small(2);
    EXPECT_EQ(3, resolve_language_code(root().c_str(), small.reference(), 2)) << "too small: the size";
    EXPECT_EQ(L"", GUARDED_TEXT(small, 1)) << "too small: left empty";

    testsupport::remove_tree(user_file());
    EXPECT_EQ(L"de", resolve());

    // A file's value comes back unchanged, without case folding.
    testsupport::write_bytes(shared_file(), "Lang=FR");
    EXPECT_EQ(L"FR", resolve());
}

TEST_F(LanguageFiles, ExistingEmptyPerUserFileGivesTheEmptyCode)
{
    testsupport::write_bytes(user_file(), "");
    testsupport::write_bytes(shared_file(), "lang=de");
    EXPECT_EQ(0, resolve_language_code(root().c_str(), nullptr, 0)) << "no value: size 0";
    EXPECT_EQ(L"", resolve());

    // A caller that did not clear its one-character buffer still gets the empty code back.
    GuardedBuffer buffer(1);
    EXPECT_EQ(0, resolve_language_code(root().c_str(), buffer.reference(), 0));
    EXPECT_EQ(L"", GUARDED_TEXT(buffer, 1)) << "result 0 says filled, but the buffer holds no terminator";
}

TEST_F(LanguageFiles, WithoutAppdataThePerUserFileIsSkippedAndNothingWritten)
{
    testsupport::write_bytes(user_file(), "lang=fr");
    testsupport::write_bytes(shared_file(), "lang=ja");
    ASSERT_TRUE(SetEnvironmentVariableW(L"APPDATA", nullptr));

    EXPECT_EQ(L"ja", resolve());
    write_language_settings(1, true);
    // Without a base the path would start at the current drive's root.
    EXPECT_FALSE(testsupport::directory_exists(L"\\Velmora")) << "written relative to the drive root";
    EXPECT_EQ("lang=fr", testsupport::read_bytes(user_file()));
}

TEST_F(LanguageFiles, WritingCreatesBothFoldersAndExactlySevenBytes)
{
    write_language_settings(3, false);
    EXPECT_FALSE(testsupport::directory_exists(appdata())) << "nothing is created without persist";

    write_language_settings(3, true);
    EXPECT_TRUE(testsupport::directory_exists(appdata() + L"\\Velmora"));
    EXPECT_TRUE(testsupport::directory_exists(appdata() + L"\\Velmora\\v182"));
    EXPECT_EQ("lang=ja", testsupport::read_bytes(user_file()));

    write_language_settings(0, true);
    EXPECT_EQ("lang=en-us", testsupport::read_bytes(user_file())) << "overwritten, not appended";
    EXPECT_EQ(L"en-us", resolve());
}

TEST_F(LanguageFiles, UnrecognisedCodeFallsBackToLocaleAndIsRecordedWhenPersisting)
{
    const int locale = get_locale_language();
    const wchar_t* const codes[] = {L"en-us", L"de", L"fr", L"ja"};
    const std::string recorded = "lang=" + narrow(codes[locale]);

    testsupport::write_bytes(shared_file(), "lang=FR");
    EXPECT_EQ(locale, resolve_language_index(false, root().c_str()));
    EXPECT_FALSE(testsupport::file_exists(user_file())) << "recorded without persist";

    EXPECT_EQ(locale, resolve_language_index(true, root().c_str())) << "case-sensitive: FR is not fr";
    EXPECT_EQ(recorded, testsupport::read_bytes(user_file()));

    testsupport::write_bytes(user_file(), "lang=");
    EXPECT_EQ(locale, language_index_from_code(nullptr, true));
    EXPECT_EQ(recorded, testsupport::read_bytes(user_file()));
}

// Run once per locale: the test registration sets LANG (Wine derives the user's locale from it at
// process start) and says what that locale must map to.
TEST_F(LanguageFiles, UserLocaleDecidesWithoutSettingsFiles)
{
    const LocaleExpectation expected = expected_locale();
    if (!expected.given)
        GTEST_SKIP() << "SETUPKIT_EXPECTED_LCID and SETUPKIT_EXPECTED_LANGUAGE not set";
    if (expected.lcid != GetUserDefaultLCID() && !testsupport::running_under_wine())
        GTEST_SKIP() << "on Windows the user's locale is the machine's setting, which only Wine takes from LANG";
    ASSERT_EQ(expected.lcid, GetUserDefaultLCID()) << "the runner did not give this process the locale";

    EXPECT_EQ(expected.index, get_locale_language());
    const int size = static_cast<int>(expected.code.size()) + 1;
    ASSERT_EQ(size, resolve_language_code(root().c_str(), nullptr, 0));

    GuardedBuffer small(size - 1);
    EXPECT_EQ(size, resolve_language_code(root().c_str(), small.reference(), size - 1));
    EXPECT_EQ(L"", GUARDED_TEXT(small, 1)) << "too small: left empty";
    GuardedBuffer buffer(size);
    EXPECT_EQ(0, resolve_language_code(root().c_str(), buffer.reference(), size));
    EXPECT_EQ(expected.code, GUARDED_TEXT(buffer, size));

    EXPECT_EQ(expected.index, resolve_language_index(true, root().c_str()));
    EXPECT_FALSE(testsupport::file_exists(user_file())) << "a recognised code is not recorded";
}
