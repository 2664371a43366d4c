#include "setupkit/language.h"

#include "testsupport/files.h"
#include "testsupport/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::narrow;

namespace {

constexpr wchar_t kSentinel = L'#';

// A buffer of `capacity` sentinels followed by four guard sentinels.
std::vector<wchar_t> sentinel_buffer(int capacity)
{
    return std::vector<wchar_t>(static_cast<size_t>(capacity) + 4, kSentinel);
}

// The text up to the terminator, or everything when none was written.
std::wstring text_of(const std::vector<wchar_t>& buffer)
{
    std::wstring text(buffer.begin(), buffer.end());
    return text.substr(0, text.find(L'\0'));
}

void expect_guard_intact(const std::vector<wchar_t>& buffer, int capacity)
{
    EXPECT_EQ(std::wstring(4, kSentinel), std::wstring(buffer.begin() + capacity, buffer.end()))
        << "written past a capacity of " << capacity;
}

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
        std::vector<wchar_t> buffer(size > 0 ? size : 1, kSentinel);
        wchar_t* pointer = buffer.data();
        pointer[0] = L'\0';
        EXPECT_EQ(0, resolve_language_code(root().c_str(), &pointer, size));
        EXPECT_EQ(buffer.data(), pointer) << "the caller's pointer is never replaced";
        return std::wstring(buffer.data());
    }

    // The value read_setting_value gives for a file holding `bytes`, and its size.
    std::wstring setting_of(const std::string& bytes, int* size)
    {
        const std::wstring path = tree_ / L"settings.txt";
        testsupport::write_bytes(path, bytes);
        *size = read_setting_value(path.c_str(), nullptr, 0);
        std::vector<wchar_t> buffer = sentinel_buffer(*size > 0 ? *size : 1);
        wchar_t* pointer = buffer.data();
        EXPECT_EQ(*size, read_setting_value(path.c_str(), &pointer, *size)) << "the size again after filling";
        expect_guard_intact(buffer, *size > 0 ? *size : 1);
        return text_of(buffer);
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

TEST(ReleaseConstants, ComeBackByTwoCallsWithoutPresetting)
{
    struct Case {
        int (*get)(wchar_t*, int);
        const wchar_t* text;
    } cases[] = {{get_release_tag, L"182"}, {get_release_folder_name, L"v182"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        const int size = static_cast<int>(wcslen(c.text)) + 1;
        ASSERT_EQ(size, c.get(nullptr, 0));
        std::vector<wchar_t> buffer = sentinel_buffer(size);
        EXPECT_EQ(size, c.get(buffer.data(), size - 1));
        EXPECT_EQ(std::wstring(size + 4, kSentinel), std::wstring(buffer.begin(), buffer.end())) << "too small: untouched";
        EXPECT_EQ(0, c.get(buffer.data(), size));
        EXPECT_EQ(c.text, text_of(buffer));
        expect_guard_intact(buffer, size);
    }
}

TEST(LanguageCode, ReturnsItsSizeAlsoAfterFilling)
{
    const wchar_t* const codes[] = {L"en-us", L"de", L"fr", L"ja"};
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        const int size = static_cast<int>(wcslen(codes[index])) + 1;
        ASSERT_EQ(size, get_language_code(index, nullptr, 0));
        std::vector<wchar_t> buffer = sentinel_buffer(size);
        EXPECT_EQ(size, get_language_code(index, buffer.data(), size));
        EXPECT_EQ(codes[index], text_of(buffer));
        expect_guard_intact(buffer, size);
    }
}

TEST(LanguageCode, TooSmallCapacityLeavesEmptyStringOrUntouchedBuffer)
{
    std::vector<wchar_t> buffer = sentinel_buffer(5);
    EXPECT_EQ(6, get_language_code(0, buffer.data(), 5));
    EXPECT_EQ(L"", text_of(buffer)) << "pre-set when the capacity exceeds 1";
    expect_guard_intact(buffer, 5);

    buffer = sentinel_buffer(1);
    EXPECT_EQ(3, get_language_code(1, buffer.data(), 1));
    EXPECT_EQ(kSentinel, buffer[0]) << "a capacity of 1 is not pre-set";
}

TEST(LanguageCode, IndexOutsideTheFourGivesZeroAndEmptyString)
{
    for (const int index : {4, -1}) {
        std::vector<wchar_t> buffer = sentinel_buffer(10);
        EXPECT_EQ(0, get_language_code(index, buffer.data(), 10)) << index;
        EXPECT_EQ(L"", text_of(buffer)) << index;
    }
}

TEST_F(LanguageFiles, SettingValueIsTheFirstTokenAfterItsFirstEquals)
{
    struct Case {
        const char* bytes;
        const wchar_t* value;
        int size;
    } cases[] = {
        {"lang=fr", L"fr", 3},
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
        SCOPED_TRACE(c.bytes);
        int size = -1;
        EXPECT_EQ(c.value, setting_of(c.bytes, &size));
        EXPECT_EQ(c.size, size);
    }
}

TEST_F(LanguageFiles, SettingTokenIsCutAt49Characters)
{
    int size = -1;
    const std::wstring value = setting_of("lang=" + std::string(75, 'x') + " tail", &size);
    EXPECT_EQ(std::wstring(44, L'x'), value);
    EXPECT_EQ(45, size);
}

TEST_F(LanguageFiles, SettingValueTooSmallOrMissingFileLeavesEmptyString)
{
    const std::wstring path = tree_ / L"settings.txt";
    testsupport::write_bytes(path, "lang=en-us");
    std::vector<wchar_t> buffer = sentinel_buffer(5);
    wchar_t* pointer = buffer.data();
    EXPECT_EQ(6, read_setting_value(path.c_str(), &pointer, 5));
    EXPECT_EQ(L"", text_of(buffer));
    expect_guard_intact(buffer, 5);

    buffer = sentinel_buffer(10);
    pointer = buffer.data();
    EXPECT_EQ(0, read_setting_value((tree_ / L"missing.txt").c_str(), &pointer, 10));
    EXPECT_EQ(L"", text_of(buffer));
}

TEST_F(LanguageFiles, MediaLabelIsTheMarkersFirstTokenCutAtNineCharacters)
{
    const std::wstring directory = tree_ / L"media";
    ASSERT_TRUE(testsupport::make_directories(directory));
    EXPECT_EQ(1, read_media_label(directory.c_str(), nullptr, 0)) << "missing marker: the empty label";
    std::vector<wchar_t> buffer = sentinel_buffer(1);
    EXPECT_EQ(0, read_media_label(directory.c_str(), buffer.data(), 1));
    EXPECT_EQ(L"", text_of(buffer));
    expect_guard_intact(buffer, 1);

    struct Case {
        const char* bytes;
        const wchar_t* label;
    } cases[] = {{"\r\n DISC1 second", L"DISC1"}, {"ABCDEFGHIJKLMN", L"ABCDEFGHI"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testsupport::write_bytes(directory + L"\\182-1.dvd", c.bytes);
        const int size = static_cast<int>(wcslen(c.label)) + 1;
        ASSERT_EQ(size, read_media_label(directory.c_str(), nullptr, 0));
        buffer = sentinel_buffer(size);
        EXPECT_EQ(size, read_media_label(directory.c_str(), buffer.data(), size - 1));
        EXPECT_EQ(kSentinel, buffer[0]) << "too small: never pre-set";
        EXPECT_EQ(0, read_media_label(directory.c_str(), buffer.data(), size));
        EXPECT_EQ(c.label, text_of(buffer));
        expect_guard_intact(buffer, size);
    }
}

TEST_F(LanguageFiles, PerUserFileBeatsSharedFileBeatsLocale)
{
    testsupport::write_bytes(user_file(), "lang=fr");
    testsupport::write_bytes(shared_file(), "lang=de");
    EXPECT_EQ(L"fr", resolve());

    testsupport::remove_tree(user_file());
    EXPECT_EQ(L"de", resolve());

    testsupport::write_bytes(shared_file(), "lang=ja");
    EXPECT_EQ(L"ja", resolve());
}

TEST_F(LanguageFiles, ExistingEmptyPerUserFileGivesTheEmptyCode)
{
    testsupport::write_bytes(user_file(), "");
    testsupport::write_bytes(shared_file(), "lang=de");
    EXPECT_EQ(0, resolve_language_code(root().c_str(), nullptr, 0)) << "no value: size 0";
    EXPECT_EQ(L"", resolve());

    // A caller that did not clear its one-character buffer still gets the empty code back.
    std::vector<wchar_t> buffer = sentinel_buffer(1);
    wchar_t* pointer = buffer.data();
    EXPECT_EQ(0, resolve_language_code(root().c_str(), &pointer, 0));
    EXPECT_EQ(L'\0', buffer[0]) << "result 0 says filled, but the buffer holds no terminator";
    expect_guard_intact(buffer, 1);
}

TEST_F(LanguageFiles, FileValueComesBackUnchangedWithoutCaseFolding)
{
    testsupport::write_bytes(shared_file(), "Lang=FR");
    EXPECT_EQ(L"FR", resolve());
}

TEST_F(LanguageFiles, TooSmallCapacityLeavesEmptyStringAndGivesTheSize)
{
    testsupport::write_bytes(user_file(), "lang=en-us");
    std::vector<wchar_t> buffer = sentinel_buffer(5);
    wchar_t* pointer = buffer.data();
    EXPECT_EQ(6, resolve_language_code(root().c_str(), &pointer, 5));
    EXPECT_EQ(L"", text_of(buffer));
    expect_guard_intact(buffer, 5);
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
    ASSERT_EQ(expected.lcid, GetUserDefaultLCID()) << "the runner did not give this process the locale";

    EXPECT_EQ(expected.index, get_locale_language());
    const int size = static_cast<int>(expected.code.size()) + 1;
    ASSERT_EQ(size, resolve_language_code(root().c_str(), nullptr, 0));

    std::vector<wchar_t> buffer = sentinel_buffer(size);
    wchar_t* pointer = buffer.data();
    EXPECT_EQ(size, resolve_language_code(root().c_str(), &pointer, size - 1));
    EXPECT_EQ(L"", text_of(buffer)) << "too small: left empty";
    EXPECT_EQ(0, resolve_language_code(root().c_str(), &pointer, size));
    EXPECT_EQ(expected.code, text_of(buffer));
    expect_guard_intact(buffer, size);

    EXPECT_EQ(expected.index, resolve_language_index(true, root().c_str()));
    EXPECT_FALSE(testsupport::file_exists(user_file())) << "a recognised code is not recorded";
}
