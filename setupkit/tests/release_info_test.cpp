#include "setupkit/release_info.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/probe_report.h"
#include "testsupport/process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

using testsupport::GuardedBuffer;
using testsupport::TempDir;
using testsupport::file_exists;
using testsupport::narrow;

namespace {

using Report = testsupport::ProbeReport;

const wchar_t kGlobalFile[] = L"\\commonfiles\\globalsettings\\relinfo.xml";

// Copies the location probe to `program`, runs it and parses what it reported.
Report run_probe_at(const std::wstring& program, const TempDir& scratch)
{
    return testsupport::run_probe(L"location_probe.exe", program, scratch / L"report.txt");
}

// An install tree whose programs lie four levels below the root, as the installer lays them out.
class InstallTree : public ::testing::Test {
protected:
    std::wstring root() const { return temp_ / L"Suite Root\\Rel"; }
    std::wstring program() const { return root() + L"\\Framework\\bin\\Win64\\tools\\setup.exe"; }
    void write_global(const std::string& bytes) { testsupport::write_bytes(root() + kGlobalFile, bytes); }
    Report run() { return run_probe_at(program(), scratch_); }

    TempDir temp_;
    TempDir scratch_;
};

} // namespace

TEST_F(InstallTree, InstallRootIsFiveComponentsAboveTheProgram)
{
    const Report report = run();
    EXPECT_EQ(narrow(root()), report.at("install_root"));
    EXPECT_EQ("0", report.at("install_root_fill"));
    EXPECT_EQ(std::to_string(program().size() + 1), report.at("install_root_size"))
        << "the size asked for is the module path's";
    EXPECT_EQ(narrow(program()), report.at("module_path"));
}

TEST(DriveRootProgram, InstallRootKeepsItsBackslash)
{
    // The test prefix maps D: to a folder of the build tree.
    TempDir scratch;
    const std::wstring program = L"D:\\X\\setup.exe";
    testsupport::remove_tree(L"D:\\X");
    const Report report = run_probe_at(program, scratch);
    EXPECT_EQ("D:\\", report.at("install_root"));
    testsupport::remove_tree(L"D:\\X");
}

TEST_F(InstallTree, GlobalValuesAreTheQuotedTextAfterEachKey)
{
    write_global("<relinfo>\r\n  <startMenuFolderName value=\"Suite 18.1\"/>\r\n"
                 "  <startMenuShortcutAppendRevision value=\"R1\"/>\r\n</relinfo>\r\n");
    const Report report = run();
    EXPECT_EQ("Suite 18.1", report.at("folder_name"));
    EXPECT_EQ("11", report.at("folder_name_size"));
    EXPECT_EQ("11", report.at("folder_name_size_again"));
    EXPECT_EQ("R1", report.at("global_suffix"));
    EXPECT_EQ("3", report.at("global_suffix_size"));
    // The program's own folder holds no relinfo.xml: it is created empty there, and holds no value.
    EXPECT_EQ("", report.at("local_suffix"));
    EXPECT_EQ("1", report.at("local_suffix_size"));
}

TEST_F(InstallTree, NonAsciiValueIsConvertedFromUtf8)
{
    write_global("startMenuFolderName=\"\xC3\xA4\xC3\xB6\xC3\xBC\"");
    const Report report = run();
    EXPECT_EQ("7", report.at("folder_name_size")) << "six bytes between the quotes";
    EXPECT_EQ("\xC3\xA4\xC3\xB6\xC3\xBC", report.at("folder_name"));
}

TEST_F(InstallTree, FirstOccurrenceOfKeyDecidesEvenInsideLongerWord)
{
    write_global("<oldstartMenuFolderNameBackup=\"Old\"/><startMenuFolderName=\"New\"/>");
    EXPECT_EQ("Old", run().at("folder_name"));
}

TEST_F(InstallTree, KeyWithoutTwoQuotesOrWithEmptyValueHasNoValue)
{
    const char* const contents[] = {
        "startMenuFolderName=\"Suite",
        "startMenuFolderName=Suite",
        "startMenuFolderName=\"\"",
        "\"Suite\" startMenuFolderName",
        "startmenufoldername=\"Suite\"",
    };
    for (const char* content : contents) {
        write_global(content);
        const Report report = run();
        EXPECT_EQ("1", report.at("folder_name_size")) << content;
        EXPECT_EQ("", report.at("folder_name")) << content;
    }
}

TEST_F(InstallTree, MissingGlobalFileReadsEmptyAndIsLeftBehindWhenFolderExists)
{
    Report report = run();
    EXPECT_EQ("1", report.at("folder_name_size"));
    EXPECT_EQ("", report.at("folder_name"));
    EXPECT_FALSE(testsupport::directory_exists(root() + L"\\commonfiles\\globalsettings"));

    testsupport::make_directories(root() + L"\\commonfiles\\globalsettings");
    report = run();
    EXPECT_EQ("1", report.at("folder_name_size"));
    EXPECT_EQ("", report.at("global_suffix"));
    EXPECT_TRUE(file_exists(root() + kGlobalFile));
    EXPECT_EQ("", testsupport::read_bytes(root() + kGlobalFile));
}

TEST_F(InstallTree, LocalSuffixComesFromTheFileBesideTheProgram)
{
    write_global("startMenuShortcutAppendRevision=\"global\"");
    testsupport::write_bytes(root() + L"\\Framework\\bin\\Win64\\tools\\relinfo.xml",
                             "startMenuShortcutAppendRevision=\"local 2\"");
    const Report report = run();
    EXPECT_EQ("local 2", report.at("local_suffix"));
    EXPECT_EQ("8", report.at("local_suffix_size"));
    EXPECT_EQ("global", report.at("global_suffix"));
}

namespace {

// The local file of this test program; the readers share one algorithm, so malformed content is
// fed through the local reader in-process, where buffers can be watched.
class MalformedReleaseFile : public ::testing::Test {
protected:
    void SetUp() override { testsupport::remove_tree(path_); }
    void TearDown() override { testsupport::remove_tree(path_); }

    // The value by the two-call protocol, into a buffer of exactly the size the reader asked for.
    std::wstring read(const std::string& content, int* size)
    {
        testsupport::write_bytes(path_, content);
        *size = read_local_revision_suffix(nullptr);
        GuardedBuffer buffer(*size);
        EXPECT_EQ(*size, read_local_revision_suffix(buffer.reference()));
        return GUARDED_TEXT(buffer, *size);
    }

    const std::wstring path_ = testsupport::own_directory() + L"relinfo.xml";
};

const char kKey[] = "startMenuShortcutAppendRevision";

} // namespace

TEST_F(MalformedReleaseFile, BinaryBytesBeforeTheKeyAreSearchedThrough)
{
    std::string content("\0\x01\xff\xfe\"\0", 6);
    content += std::string(kKey) + "=\"v2\"";
    int size = 0;
    EXPECT_EQ(L"v2", read(content, &size));
    EXPECT_EQ(3, size);
}

TEST_F(MalformedReleaseFile, TruncatedKeysAndQuotesGiveEmptyValue)
{
    const std::string contents[] = {
        std::string(kKey),                       // the key as the very last bytes
        std::string(kKey) + "=",                 // no quote at all
        std::string(kKey) + "=\"unterminated",   // one quote
        std::string(kKey).substr(0, 10),         // the key cut short
        std::string(),                           // empty file
        std::string("\"\"\"\"") + std::string(kKey, sizeof(kKey) - 2),
    };
    for (const std::string& content : contents) {
        int size = 0;
        EXPECT_EQ(L"", read(content, &size)) << content;
        EXPECT_EQ(1, size) << content;
    }
}

TEST_F(MalformedReleaseFile, InvalidUtf8StaysWithinTheSizeAskedFor)
{
    const std::string value("\xff\xfe\xc3\x28\xe2\x82\xf0\x9f\x98", 9);
    int size = 0;
    const std::wstring read_value = read(std::string(kKey) + "=\"" + value + "\"", &size);
    EXPECT_EQ(10, size);
    EXPECT_FALSE(read_value.empty());
    EXPECT_LE(read_value.size(), value.size());
}

TEST_F(MalformedReleaseFile, ValueMaySpanLinesAndKeepsEntities)
{
    int size = 0;
    EXPECT_EQ(L"a\r\nb &amp; c", read(std::string(kKey) + "=\"a\r\nb &amp; c\"", &size));
    EXPECT_EQ(13, size);
}

TEST_F(MalformedReleaseFile, KeyAtTheEndOfSeveralMegabytesIsFound)
{
    std::string content(5 * 1024 * 1024, 'x');
    content += std::string(kKey) + "=\"deep\"";
    int size = 0;
    EXPECT_EQ(L"deep", read(content, &size));
    EXPECT_EQ(5, size);
}

TEST_F(MalformedReleaseFile, LongValueFillsExactlyTheSizeAskedFor)
{
    const std::string value(100000, 'v');
    int size = 0;
    const std::wstring read_value = read(std::string(kKey) + "=\"" + value + "\"", &size);
    EXPECT_EQ(100001, size);
    EXPECT_EQ(value.size(), read_value.size());
}

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
        GuardedBuffer small(size - 1);
        EXPECT_EQ(size, c.get(small.data(), size - 1));
        EXPECT_TRUE(small.untouched()) << "too small: untouched";
        GuardedBuffer buffer(size);
        EXPECT_EQ(0, c.get(buffer.data(), size));
        EXPECT_EQ(c.text, GUARDED_TEXT(buffer, size));
    }
}
