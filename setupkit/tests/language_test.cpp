#include "setupkit/language.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/platform.h"
#include "testsupport/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

using testsupport::GuardedBuffer;
using testsupport::TempDir;
using testsupport::expect_two_calls;
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

    // Also a caller that did not clear its one-character buffer gets the empty code back.
    void expect_resolved(const std::wstring& code, int size)
    {
        expect_two_calls([&](GuardedBuffer* buffer, int capacity) {
            return resolve_language_code(root().c_str(), buffer ? buffer->reference() : nullptr, capacity);
        }, size, 0, code);
    }

    TempDir profile_;
    TempDir tree_;
    std::wstring saved_appdata_;
};

const wchar_t* const kCodes[] = {L"en-us", L"de", L"fr", L"ja"};

} // namespace

TEST(LanguageCode, ComesBackByTwoCallsAndTooSmallOrUnknownLeavesItEmpty)
{
    for (int index = -1; index < 5; ++index) {
        SCOPED_TRACE(index);
        const auto read = [&](GuardedBuffer* buffer, int capacity) {
            return get_language_code(index, buffer ? buffer->data() : nullptr, capacity);
        };
        if (index < 0 || index >= 4) {
            GuardedBuffer buffer(10);
            ASSERT_EQ(0, read(nullptr, 0));
            EXPECT_EQ(0, read(&buffer, 10));
            EXPECT_EQ(L"", GUARDED_TEXT(buffer, 1));
            continue;
        }
        const int size = static_cast<int>(wcslen(kCodes[index])) + 1;
        expect_two_calls(read, size, size, kCodes[index]);
        // A capacity of 1 stays untouched.
        GuardedBuffer one(1);
        EXPECT_EQ(size, read(&one, 1));
        EXPECT_TRUE(one.untouched());
    }
}

TEST_F(LanguageFiles, SettingValueIsTheFirstTokenAfterItsFirstEqualsByTwoCallsAndTooSmallOrMissingLeavesItEmpty)
{
    struct Case {
        std::string bytes;
        std::wstring value;
        int size;
    } cases[] = {
        {"lang=fr", L"fr", 3},
        {"lang=en-us", L"en-us", 6},
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
    const std::wstring path = tree_ / L"settings.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        testsupport::write_bytes(path, c.bytes);
        expect_two_calls([&](GuardedBuffer* buffer, int capacity) {
            return read_setting_value(path.c_str(), buffer ? buffer->reference() : nullptr, capacity);
        }, c.size, c.size, c.value);
    }
    GuardedBuffer buffer(10);
    EXPECT_EQ(0, read_setting_value((tree_ / L"missing.txt").c_str(), buffer.reference(), 10));
    EXPECT_EQ(L"", GUARDED_TEXT(buffer, 1)) << "missing file";
}

TEST_F(LanguageFiles, MediaLabelIsTheMarkersFirstTokenCutAtNineCharacters)
{
    const std::wstring directory = tree_ / L"media";
    ASSERT_TRUE(testsupport::make_directories(directory));
    const auto read = [&](GuardedBuffer* buffer, int capacity) {
        return read_media_label(directory.c_str(), buffer ? buffer->data() : nullptr, capacity);
    };
    expect_two_calls(read, 1, 0, L""); // missing marker: the empty label
    struct Case {
        const char* bytes;
        const wchar_t* label;
    } cases[] = {{"\r\n DISC1 second", L"DISC1"}, {"ABCDEFGHIJKLMN", L"ABCDEFGHI"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testsupport::write_bytes(directory + L"\\182-1.dvd", c.bytes);
        expect_two_calls(read, static_cast<int>(wcslen(c.label)) + 1, 0, c.label, testsupport::ShortBuffer::kUntouched);
    }
}

TEST_F(LanguageFiles, PerUserFileBeatsSharedFileBeatsLocaleAndItsValueComesBackUnchanged)
{
    const struct {
        const char* user; // null: no such file
        const char* shared;
        const wchar_t* code;
        int size;
    } rows[] = {
        {"lang=fr", "lang=de", L"fr", 3},
        {nullptr, "lang=de", L"de", 3},
        {nullptr, "Lang=FR", L"FR", 3}, // without case folding
        {"", "lang=de", L"", 0},        // an existing empty per-user file gives the empty code
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.user ? row.user : "(no per-user file)") + ", shared " + row.shared);
        testsupport::remove_tree(user_file());
        if (row.user)
            testsupport::write_bytes(user_file(), row.user);
        testsupport::write_bytes(shared_file(), row.shared);
        expect_resolved(row.code, row.size);
    }
}

TEST_F(LanguageFiles, WritingMakesBothFoldersAndExactlyTheCodeOnlyWhenPersistingWithAppdata)
{
    write_language_settings(3, false);
    EXPECT_FALSE(testsupport::directory_exists(appdata())) << "nothing is created without persist";

    write_language_settings(3, true);
    EXPECT_EQ("lang=ja", testsupport::read_bytes(user_file())) << "both folders made, and the file in them";

    write_language_settings(0, true);
    EXPECT_EQ("lang=en-us", testsupport::read_bytes(user_file())) << "overwritten, not appended";
    expect_resolved(L"en-us", 6);

    // Without APPDATA the per-user file is neither read nor written.
    testsupport::write_bytes(shared_file(), "lang=ja");
    ASSERT_TRUE(SetEnvironmentVariableW(L"APPDATA", nullptr));
    expect_resolved(L"ja", 3);
    write_language_settings(1, true);
    // Without a base the path would start at the current drive's root.
    EXPECT_FALSE(testsupport::directory_exists(L"\\Velmora")) << "written relative to the drive root";
    EXPECT_EQ("lang=en-us", testsupport::read_bytes(user_file()));
}

TEST_F(LanguageFiles, UnrecognisedCodeFallsBackToLocaleAndIsRecordedWhenPersisting)
{
    const int locale = get_locale_language();
    const std::string recorded = "lang=" + narrow(kCodes[locale]);

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
    const char* const lcid = std::getenv("SETUPKIT_EXPECTED_LCID");
    const char* const code = std::getenv("SETUPKIT_EXPECTED_LANGUAGE");
    if (!lcid || !code)
        GTEST_SKIP() << "SETUPKIT_EXPECTED_LCID and SETUPKIT_EXPECTED_LANGUAGE not set";
    const LCID expected_lcid = static_cast<LCID>(std::strtoul(lcid, nullptr, 16));
    if (expected_lcid != GetUserDefaultLCID() && !testsupport::running_under_wine())
        GTEST_SKIP() << "on Windows the user's locale is the machine's setting, which only Wine takes from LANG";
    ASSERT_EQ(expected_lcid, GetUserDefaultLCID()) << "the runner did not give this process the locale";
    const std::wstring expected_code(code, code + std::strlen(code));
    const int index = static_cast<int>(std::find(std::begin(kCodes), std::end(kCodes), expected_code) - kCodes);
    ASSERT_LT(index, 4) << code << " is no language code";

    EXPECT_EQ(index, get_locale_language());
    expect_resolved(expected_code, static_cast<int>(expected_code.size()) + 1);
    EXPECT_EQ(index, resolve_language_index(true, root().c_str()));
    EXPECT_FALSE(testsupport::file_exists(user_file())) << "a recognised code is not recorded";
}
