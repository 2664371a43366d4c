#include "setupkit/paths.h"
#include "setupkit/directories.h"
#include "setupkit/install_root.h"
#include "setupkit/release_info.h"
#include "setupkit/whole_file.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/platform.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <string>

using testsupport::GuardedBuffer;
using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::narrow;

TEST(StripPath, CutsAtBackslashesOnlyAndKeepsTheDriveRoot)
{
    const struct {
        bool five_levels; // strip_path_levels, else strip_last_component
        const wchar_t* path;
        const wchar_t* expected;
        bool held_backslash;
    } cases[] = {
        {false, L"C:\\A\\B\\prog.exe", L"C:\\A\\B\\", true},
        {false, L"C:\\A\\B\\", L"C:\\A\\", true},
        {false, L"C:\\", L"C:\\", true},
        {false, L"prog.exe", L"prog.exe", false},
        {false, L"dir/sub/prog.exe", L"dir/sub/prog.exe", false},
        {false, L"C:\\dir/sub/prog.exe", L"C:\\", true},
        {true, L"D:\\Suite\\Rel\\W\\X\\Y\\Z\\prog.exe", L"D:\\Suite\\Rel", false},
        {true, L"C:\\a\\b\\c\\d\\e\\f\\g\\", L"C:\\a\\b", false},
        {true, L"D:\\X\\prog.exe", L"D:\\", false},
        {true, L"D:\\prog.exe", L"D:\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.path));
        GuardedBuffer buffer(static_cast<int>(wcslen(c.path)) + 1);
        if (c.five_levels) {
            strip_path_levels(c.path, buffer.data());
        } else {
            wcscpy(buffer.data(), c.path);
            EXPECT_EQ(c.held_backslash, strip_last_component(buffer.data()));
        }
        EXPECT_EQ(c.expected, GUARDED_TEXT(buffer, buffer.capacity()));
    }
}

// Every getter of the two-call protocol: a null buffer is a size query whatever its capacity, a
// capacity one short or negative writes nothing, then the buffer of that size is filled.
TEST(TwoCallGetters, ReportTheSizeThenFillAndWriteNothingWhenTooSmall)
{
    wchar_t module_path[MAX_PATH];
    const std::wstring module(module_path, GetModuleFileNameW(nullptr, module_path, MAX_PATH));
    const int module_size = static_cast<int>(module.size()) + 1;
    const struct {
        const char* name;
        int (*get)(wchar_t*, int);
        int size;
        std::wstring text; // empty: a proper beginning of the module path (exactly where a probe is laid out)
    } rows[] = {
        {"get_module_path", get_module_path, module_size, module},
        {"get_install_root", get_install_root, module_size, L""},
        {"get_release_tag", get_release_tag, 4, L"182"},
        {"get_release_folder_name", get_release_folder_name, 5, L"v182"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.size, row.get(nullptr, 0));
        EXPECT_EQ(row.size, row.get(nullptr, row.size));
        GuardedBuffer small(row.size - 1);
        EXPECT_EQ(row.size, row.get(small.data(), row.size - 1));
        EXPECT_EQ(row.size, row.get(small.data(), -1));
        EXPECT_TRUE(small.untouched());
        GuardedBuffer buffer(row.size);
        EXPECT_EQ(0, row.get(buffer.data(), row.size));
        const std::wstring text = GUARDED_TEXT(buffer, row.size);
        if (row.text.empty())
            EXPECT_TRUE(text.size() < module.size() && module.compare(0, text.size(), text) == 0) << narrow(text);
        else
            EXPECT_EQ(row.text, text);
    }
}

TEST(Directories, PathExistsForFilesAndDirectoriesOnly)
{
    TempDir temp;
    testsupport::write_bytes(temp / L"file.txt", "x");
    EXPECT_TRUE(path_exists(temp.path().c_str()));
    EXPECT_TRUE(path_exists((temp / L"file.txt").c_str()));
    EXPECT_FALSE(path_exists((temp / L"missing").c_str()));
}

// The shared directory's creation itself is checked with its access list.
TEST(Directories, EnsureAndSharedDirectoryCreateOneLevelOnly)
{
    TempDir temp;
    EXPECT_NE(0, ensure_directory(temp.path().c_str())) << "an existing directory";
    EXPECT_NE(0, ensure_directory((temp / L"one").c_str()));
    EXPECT_TRUE(directory_exists(temp / L"one"));
    EXPECT_EQ(0, ensure_directory((temp / L"missing\\two").c_str())) << "parent missing";
    EXPECT_EQ(0, create_shared_directory((temp / L"missing\\shared").c_str())) << "parent missing";
    EXPECT_FALSE(directory_exists(temp / L"missing"));
}

TEST(Directories, CreateDirectoryTreeCreatesMissingParentsAndAlwaysReturnsZero)
{
    TempDir temp;
    ASSERT_TRUE(CreateDirectoryW((temp / L"A").c_str(), nullptr));
    EXPECT_EQ(0, create_directory_tree((temp / L"A\\B\\C").c_str()));
    EXPECT_TRUE(directory_exists(temp / L"A\\B\\C"));
    EXPECT_EQ(0, create_directory_tree((temp / L"A\\B\\C").c_str())) << "everything exists already";
    // Below a file nothing can be created; the failures pass silently.
    testsupport::write_bytes(temp / L"file", "x");
    EXPECT_EQ(0, create_directory_tree((temp / L"file\\sub\\deeper").c_str()));
    EXPECT_FALSE(directory_exists(temp / L"file\\sub"));
}

TEST(Directories, SharedDirectoryGrantsEveryoneInheritableAccess)
{
    TempDir temp;
    const std::wstring shared = temp / L"shared";
    EXPECT_EQ(0, create_shared_directory(shared.c_str()));
    ASSERT_TRUE(directory_exists(shared));

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetNamedSecurityInfoW(shared.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor));
    if (testsupport::running_under_wine()) {
        LocalFree(descriptor);
        GTEST_SKIP() << "Wine lacks file access lists: it keeps its default list, not the descriptor given to "
                        "CreateDirectoryW";
    }
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(1u, dacl->AceCount);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(CONTAINER_INHERIT_ACE, ace->Header.AceFlags & (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE));
    // Generic rights are mapped to the file's own on creation; WRITE_OWNER is never among them.
    EXPECT_EQ(0u, ace->Mask & WRITE_OWNER) << std::hex << ace->Mask;
    EXPECT_NE(0u, ace->Mask & WRITE_DAC) << std::hex << ace->Mask;

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPECT_TRUE(EqualSid(everyone, &ace->SidStart));
    FreeSid(everyone);
    LocalFree(descriptor);
}

// The empty row leaves the file missing: in its existing folder, it is created empty and read as such.
TEST(ReadWholeFile, HandsOverExactBytesIncludingZerosAndSeveralMegabytesAndCreatesAMissingFileEmpty)
{
    TempDir temp;
    const std::wstring path = temp / L"data.bin";
    std::string big(6 * 1024 * 1024 + 3, 'q');
    big.back() = '!';
    for (const std::string& bytes : {std::string(), std::string("a\0b\xff\r\nend", 8), big}) {
        if (!bytes.empty())
            testsupport::write_bytes(path, bytes);
        char* content = nullptr;
        unsigned long length = 0xDEADBEEF;
        EXPECT_NE(0, read_whole_file(path.c_str(), &content, &length));
        ASSERT_NE(nullptr, content);
        EXPECT_TRUE(bytes == std::string(content, length)) << length << " of " << bytes.size() << " bytes";
        delete[] content;
        EXPECT_TRUE(file_exists(path));
        EXPECT_TRUE(bytes == testsupport::read_bytes(path)) << "the file changed, " << bytes.size() << " bytes";
    }
}

TEST(ReadWholeFile, UnopenableFileLeavesContentPointerAlone)
{
    TempDir temp;
    char sentinel = 0;
    char* content = &sentinel;
    EXPECT_EQ(0, read_whole_file((temp / L"no-such-folder\\relinfo.xml").c_str(), &content));
    EXPECT_EQ(&sentinel, content);
    EXPECT_FALSE(directory_exists(temp / L"no-such-folder"));
    EXPECT_EQ(0, read_whole_file((temp / L"relinfo.xml").c_str(), &content, nullptr, MissingFile::kLeave));
    EXPECT_EQ(&sentinel, content);
    EXPECT_FALSE(file_exists(temp / L"relinfo.xml")) << "a reader told to leave it missing made it";

    // Held open for writing without shared reading by somebody else.
    const std::wstring locked = temp / L"locked.xml";
    testsupport::write_bytes(locked, "startMenuFolderName=\"x\"");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder) << GetLastError();
    EXPECT_EQ(0, read_whole_file(locked.c_str(), &content));
    EXPECT_EQ(&sentinel, content);
    CloseHandle(holder);
    // A writer that lets others read stops the reader that creates, not the one that leaves it missing.
    holder = CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(0, read_whole_file(locked.c_str(), &content));
    EXPECT_NE(0, read_whole_file(locked.c_str(), &content, nullptr, MissingFile::kLeave));
    EXPECT_NE(&sentinel, content);
    delete[] content;
    content = &sentinel;
    CloseHandle(holder);

    // Past the read limit (and past what a 32-bit size can measure): failure, nothing handed over.
    const std::wstring huge = temp / L"huge.xml";
    ASSERT_TRUE(testsupport::write_sparse_file(huge, "startMenuFolderName=\"x\"", 5ull << 30)) << GetLastError();
    unsigned long length = 0xDEADBEEF;
    EXPECT_EQ(0, read_whole_file(huge.c_str(), &content, &length));
    EXPECT_EQ(&sentinel, content);
    EXPECT_EQ(0u, length);
}
