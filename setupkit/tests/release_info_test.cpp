#include "setupkit/release_info.h"
#include "setupkit/language.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/probe_report.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <thread>

using testsupport::GuardedBuffer;
using testsupport::TempDir;
using testsupport::file_exists;
using testsupport::narrow;

namespace {

using Report = testsupport::ProbeReport;

const wchar_t kGlobalFile[] = L"\\commonfiles\\globalsettings\\relinfo.xml";

// An install tree whose programs lie four levels below the root, as the installer lays them out.
class InstallTree : public ::testing::Test {
protected:
    std::wstring program() const { return root_ + L"\\Framework\\bin\\Win64\\tools\\setup.exe"; }
    // The location probe copied to the program's place, run there; what it reported.
    Report run() { return testsupport::run_probe(L"location_probe.exe", program(), scratch_ / L"report.txt"); }

    TempDir temp_;
    TempDir scratch_;
    std::wstring root_ = temp_ / L"Suite Root\\Rel"; // a case may lay out trees elsewhere
};

} // namespace

// Each value is the UTF-8 between the first two quotes after its key's first occurrence, else empty;
// its size counts the bytes, on the size query and again on the fill. Where the global file's folder
// exists, the file is created empty (the programs' tests show it); where it does not, nothing is created.
TEST_F(InstallTree, ValuesAreTheQuotedUtf8AfterTheKeysFirstOccurrenceElseEmpty)
{
    const struct {
        const char* global; // none: not even its folder
        const char* local;  // the file beside the program; without one it is created empty there
        const char* folder_name;
        const char* global_suffix;
        const char* local_suffix;
    } rows[] = {
        {nullptr, nullptr, "", "", ""},
        {"<relinfo>\r\n  <startMenuFolderName value=\"Suite 18.1\"/>\r\n"
         "  <startMenuShortcutAppendRevision value=\"R1\"/>\r\n</relinfo>\r\n",
         nullptr, "Suite 18.1", "R1", ""},
        {"startMenuFolderName=\"\xC3\xA4\xC3\xB6\xC3\xBC\"", nullptr, "\xC3\xA4\xC3\xB6\xC3\xBC", "", ""}, // 6 bytes
        {"<oldstartMenuFolderNameBackup=\"Old\"/><startMenuFolderName=\"New\"/>", nullptr, "Old", "", ""}, // in a word
        {"startMenuFolderName=\"Suite", nullptr, "", "", ""},
        {"startMenuFolderName=Suite", nullptr, "", "", ""},
        {"startMenuFolderName=\"\"", nullptr, "", "", ""},
        {"\"Suite\" startMenuFolderName", nullptr, "", "", ""},
        {"startmenufoldername=\"Suite\"", nullptr, "", "", ""},
        {"startMenuShortcutAppendRevision=\"global\"", "startMenuShortcutAppendRevision=\"local 2\"", "", "global",
         "local 2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.global ? row.global : "(no global folder)");
        if (row.global)
            testsupport::write_bytes(root_ + kGlobalFile, row.global);
        if (row.local)
            testsupport::write_bytes(root_ + L"\\Framework\\bin\\Win64\\tools\\relinfo.xml", row.local);
        const Report report = run();
        EXPECT_TRUE(row.global || !testsupport::directory_exists(root_ + L"\\commonfiles\\globalsettings"))
            << "the global file's folder was made";
        for (const auto& [key, value] : {std::make_pair(std::string("folder_name"), row.folder_name),
                                         std::make_pair(std::string("global_suffix"), row.global_suffix),
                                         std::make_pair(std::string("local_suffix"), row.local_suffix)}) {
            EXPECT_EQ(value, report.at(key)) << key;
            EXPECT_EQ(std::to_string(strlen(value) + 1), report.at(key + "_size")) << key;
            EXPECT_EQ(report.at(key + "_size"), report.at(key + "_size_again")) << key;
        }
    }
}

// Whoever may write the install tree can make a folder on the file's path, or the file's own name, a
// link: the elevated programs must create nothing where it leads, and read the file as missing. A
// release file reached through a link is read all the same.
TEST_F(InstallTree, MissingReleaseFileIsCreatedThroughNoLinkAndExistingOneIsReadThroughIt)
{
    struct Case {
        const wchar_t* link;   // below the install root
        const wchar_t* target; // below "elsewhere", which holds a globalsettings folder
        const wchar_t* made;   // what the tree holds beside the link
        const char* file;      // elsewhere\globalsettings\relinfo.xml, or none
    };
    const Case cases[] = {
        {L"\\commonfiles\\globalsettings", L"\\globalsettings", L"\\commonfiles", nullptr},
        {L"\\commonfiles", L"", L"", nullptr},
        {kGlobalFile, L"\\globalsettings\\relinfo.xml", L"\\commonfiles\\globalsettings", nullptr},
        {kGlobalFile, L"\\globalsettings\\relinfo.xml", L"\\commonfiles\\globalsettings",
         "startMenuFolderName=\"Linked\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.link) + (c.file ? " to an existing file" : ""));
        TempDir tree;
        root_ = tree / L"Rel";
        const std::wstring elsewhere = tree / L"elsewhere";
        const std::wstring file_elsewhere = elsewhere + L"\\globalsettings\\relinfo.xml";
        ASSERT_TRUE(testsupport::make_directories(elsewhere + L"\\globalsettings"));
        ASSERT_TRUE(testsupport::make_directories(root_ + c.made));
        if (c.file)
            testsupport::write_bytes(file_elsewhere, c.file);
        const bool folder = c.link != std::wstring(kGlobalFile);
        testsupport::SymbolicLink link(root_ + c.link, elsewhere + c.target, folder);
        ASSERT_TRUE(link.made()) << narrow(root_ + c.link);

        const Report report = run();
        EXPECT_EQ(c.file ? "Linked" : "", report.at("folder_name"));
        EXPECT_EQ(c.file != nullptr, file_exists(file_elsewhere)) << "created where the link leads";
    }
}

namespace {

// The local file of this test program; the readers share one algorithm, so malformed content is
// fed through the local reader in-process, where buffers can be watched.
class MalformedReleaseFile : public ::testing::Test {
protected:
    void SetUp() override { testsupport::remove_tree(path_); }
    void TearDown() override { testsupport::remove_tree(path_); }

    // The value by the two-call protocol, into a buffer of exactly the size the reader asked for.
    // With `replaced`, the file is rewritten between the size query and the fill call.
    std::wstring read(const std::string& content, int* size, const std::string* replaced = nullptr)
    {
        testsupport::write_bytes(path_, content);
        *size = read_local_revision_suffix(nullptr);
        if (replaced)
            testsupport::write_bytes(path_, *replaced);
        GuardedBuffer buffer(*size);
        const int filled = read_local_revision_suffix(buffer.reference());
        EXPECT_EQ(replaced ? filled : *size, filled) << "the fill's size, unless the file was replaced";
        return GUARDED_TEXT(buffer, *size);
    }

    const std::wstring path_ = testsupport::own_directory() + L"relinfo.xml";
};

const char kKey[] = "startMenuShortcutAppendRevision";

} // namespace

// A value that no longer fits the size asked for (the file replaced meanwhile) is handed over as "".
TEST_F(MalformedReleaseFile, ValueIsTheBytesBetweenTheQuotesAfterTheKeyElseEmptyNeverPastTheSizeAskedFor)
{
    const std::string key = std::string(kKey) + "=";
    const std::string invalid_utf8("\xff\xfe\xc3\x28\xe2\x82\xf0\x9f\x98", 9);
    const struct {
        std::string content;
        std::wstring value; // of invalid UTF-8 (the size-10 row) only the length is bounded
        int size;
        std::optional<std::string> replaced = std::nullopt;
    } cases[] = {
        {std::string("\0\x01\xff\xfe\"\0", 6) + key + "\"v2\"", L"v2", 3}, // binary bytes searched through
        {key + "\"a\r\nb &amp; c\"", L"a\r\nb &amp; c", 13},                 // spans lines, keeps entities
        {std::string(5 * 1024 * 1024, 'x') + key + "\"deep\"", L"deep", 5},      // after several megabytes
        {key + "\"" + std::string(100000, 'v') + "\"", std::wstring(100000, L'v'), 100001},
        {kKey, L"", 1},                                                      // the key as the very last bytes
        {key, L"", 1},                                                       // no quote at all
        {key + "\"unterminated", L"", 1},
        {std::string(kKey).substr(0, 10), L"", 1},                           // the key cut short
        {std::string(), L"", 1},
        {std::string("\"\"\"\"") + std::string(kKey, sizeof(kKey) - 2), L"", 1},
        {key + "\"" + invalid_utf8 + "\"", L"", 10},
        {key + "\"\"", L"", 1, key + "\"RRRRRRRRRR\""},                           // grew from empty
        {key + "\"v\"", L"", 2, key + "\"" + std::string(100000, 'R') + "\""},     // grew a lot
        {"no key at all", L"", 1, key + "\"RR\""},
        {key + "\"0123456789\"", L"abc", 11, key + "\"abc\""},                     // shrank: fits
        {key + "\"abcd\"", L"\u00E4\u00F6", 5, key + "\"\xC3\xA4\xC3\xB6\""}, // more bytes, as many characters
        {key + "\"value\"", L"", 6, ""},                                          // emptied
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 60) + (c.replaced ? " -> " + c.replaced->substr(0, 60) : ""));
        int size = 0;
        const std::wstring value = read(c.content, &size, c.replaced ? &*c.replaced : nullptr);
        EXPECT_EQ(c.size, size);
        if (c.size == 10) {
            EXPECT_FALSE(value.empty());
            EXPECT_LE(value.size(), invalid_utf8.size()) << "stays within the size asked for";
        } else {
            EXPECT_EQ(c.value, value);
        }
    }
}

TEST_F(MalformedReleaseFile, FillWithoutSizeQueryOnItsThreadWritesOnlyTheEmptyValue)
{
    testsupport::write_bytes(path_, std::string(kKey) + "=\"value\"");
    GuardedBuffer buffer(1);
    int filled = 0;
    // A thread of its own has never asked this reader for a size.
    std::thread([&] { filled = read_local_revision_suffix(buffer.reference()); }).join();
    EXPECT_EQ(6, filled) << "the value's size still comes back";
    EXPECT_EQ(L"", GUARDED_TEXT(buffer, 1));
}

namespace {

// Hostile files from a seed: each case draws from its own generator seeded with (seed, case), so a
// single case replays alone (SETUPKIT_HOSTILE_SEED, SETUPKIT_HOSTILE_CASE).
class HostileFiles : public MalformedReleaseFile {
protected:
    static std::string generate(unsigned int seed, unsigned int case_number)
    {
        std::seed_seq sequence{seed, case_number};
        std::mt19937 random(sequence);
        auto pick = [&random](unsigned int count) { return static_cast<unsigned int>(random() % count); };
        static const char* const kOddBytes[] = {"\xC3", "\xF0\x9F\x98", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF",
                                                "\xED\xA0\x80", "\xC0\x80", "\x80\x80\x80", "\r\n", "\t \v"};
        // Half the files start like a real value, so that most of the search gets past the key.
        std::string content = pick(2) ? std::string(kKey) + "=\"" : std::string();
        const std::function<void()> kinds[] = {
            [&] {
                for (unsigned int n = pick(64); n > 0; --n)
                    content += static_cast<char>(pick(256));
            },
            [&] { content += kKey; },
            [&] { content += std::string(kKey, pick(sizeof(kKey) - 1)); },
            [&] { content += pick(2) ? "=\"" : "\""; },
            [&] { content += kOddBytes[pick(sizeof(kOddBytes) / sizeof(kOddBytes[0]))]; },
            [&] { content += std::string(1 + pick(4), '\0'); },
            // Now and then a huge value; most values stay short so that a thousand cases take seconds.
            [&] { content += std::string(pick(150) == 0 ? 100000 + pick(400000) : pick(80), pick(2) ? 'R' : '\xE6'); },
            [&] { content += pick(2) ? "lang=" : "="; },
            [&] { content += std::string(1 + pick(60), static_cast<char>('a' + pick(26))); },
        };
        for (unsigned int pieces = 1 + pick(10); pieces > 0; --pieces)
            kinds[pick(9)]();
        return content;
    }

    // The bytes between the two quotes after the key's first occurrence, else none: the release
    // readers must give their count plus one as the size.
    static std::string expected_value(const std::string& content)
    {
        const size_t key = content.find(kKey);
        const size_t opening = key == std::string::npos ? key : content.find('"', key);
        const size_t closing = opening == std::string::npos ? opening : content.find('"', opening + 1);
        return closing == std::string::npos ? std::string() : content.substr(opening + 1, closing - opening - 1);
    }

    // read_setting_value's two calls into a guarded buffer, the file replaced in between when asked.
    void read_setting(const std::wstring& path, const std::string& content, const std::string* replaced)
    {
        testsupport::write_bytes(path, content);
        const int size = read_setting_value(path.c_str(), nullptr, 0);
        EXPECT_GE(size, 0);
        EXPECT_LE(size, 50) << "the token is cut at 49 characters";
        if (replaced)
            testsupport::write_bytes(path, *replaced);
        // Callers allocate at least one character, also for a size of 0.
        GuardedBuffer buffer(size > 0 ? size : 1);
        read_setting_value(path.c_str(), buffer.reference(), size);
        GUARDED_TEXT(buffer, buffer.capacity());
    }
};

unsigned int environment_number(const char* name, unsigned int otherwise)
{
    const char* text = std::getenv(name);
    return text && *text ? static_cast<unsigned int>(std::strtoul(text, nullptr, 10)) : otherwise;
}

} // namespace

TEST_F(HostileFiles, SeededGeneratorCannotMakeAnyReaderWritePastItsBuffer)
{
    constexpr unsigned int kCases = 1000;
    // The same files on every run unless another seed is asked for, so that a failure replays.
    const unsigned int seed = environment_number("SETUPKIT_HOSTILE_SEED", 182);
    const unsigned int only = environment_number("SETUPKIT_HOSTILE_CASE", kCases);
    std::cout << "hostile files: seed " << seed << " (replay: SETUPKIT_HOSTILE_SEED=" << seed
              << ", one case: SETUPKIT_HOSTILE_CASE=n)" << std::endl;
    TempDir settings;
    const std::wstring settings_file = settings / L"languagesettings.txt";
    unsigned int with_value = 0;
    for (unsigned int n = only < kCases ? only : 0; n < (only < kCases ? only + 1 : kCases); ++n) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " case " + std::to_string(n));
        const std::string content = generate(seed, n);
        // Every fourth case rewrites the file between the size query and the fill call.
        const bool race = n % 4 == 3;
        const std::string replacement = race ? generate(seed, n + kCases) : std::string();
        int size = 0;
        const std::wstring value = read(content, &size, race ? &replacement : nullptr);
        const std::string bytes = expected_value(content);
        EXPECT_EQ(static_cast<int>(bytes.size()) + 1, size);
        with_value += size > 1 ? 1 : 0;
        // Plain ASCII without NULs converts character for character.
        if (!race && std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0; })) {
            EXPECT_EQ(std::wstring(bytes.begin(), bytes.end()), value);
        }
        read_setting(settings_file, content, race ? &replacement : nullptr);
        if (HasFailure())
            break;
    }
    std::cout << "hostile files: " << with_value << " release files held a value" << std::endl;
}
