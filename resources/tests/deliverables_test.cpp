// What the installer ships: two GUI programs that import system DLLs only, carry the manifest and
// the icon group, and run silently to exit status 0 from an install tree.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testsupport::narrow;

namespace {

const wchar_t* const kPrograms[] = {L"postinstall.exe", L"preuninstall.exe"};

std::wstring built(const wchar_t* program)
{
    return testsupport::own_directory() + program;
}

// The PE facts that matter here, read from the file's bytes.
struct PeFacts {
    bool valid = false;
    WORD subsystem = 0;
    std::vector<std::string> imports;
};

template <typename NtHeaders>
void read_pe_facts(const std::string& image, const NtHeaders* nt, PeFacts& facts)
{
    facts.subsystem = nt->OptionalHeader.Subsystem;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    auto offset_of = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return image.size();
    };
    for (size_t at = offset_of(directory.VirtualAddress);
         at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size(); at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        memcpy(&descriptor, image.data() + at, sizeof(descriptor));
        if (descriptor.Name == 0)
            break;
        const size_t name = offset_of(descriptor.Name);
        if (name < image.size())
            facts.imports.push_back(image.c_str() + name);
    }
    facts.valid = true;
}

PeFacts pe_facts(const std::wstring& path)
{
    PeFacts facts;
    const std::string image = testsupport::read_bytes(path);
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return facts;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > image.size())
        return facts;
    const char* nt = image.data() + dos->e_lfanew;
    if (reinterpret_cast<const IMAGE_NT_HEADERS32*>(nt)->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        read_pe_facts(image, reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt), facts);
    else
        read_pe_facts(image, reinterpret_cast<const IMAGE_NT_HEADERS32*>(nt), facts);
    return facts;
}

struct LoadedAsData {
    explicit LoadedAsData(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~LoadedAsData()
    {
        if (module)
            FreeLibrary(module);
    }
    HMODULE module;
};

std::string resource_bytes(HMODULE module, const wchar_t* type, const wchar_t* name)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// What postinstall registers from a tree without release information: its shortcut straight in the
// Programs folder, and the environment.
void remove_registration()
{
    testsupport::remove_tree(testsupport::all_users_programs_folder() + L"\\Fenwright.lnk");
    testsupport::remove_tree(testsupport::user_programs_folder() + L"\\Fenwright.lnk");
    testsupport::forget_postinstall_variables();
}

} // namespace

TEST(Deliverables, AreGuiProgramsImportingSystemDllsOnly)
{
    const char* const system_dlls[] = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll",
                                       "shlwapi.dll",  "ole32.dll",  "oleaut32.dll", "msvcrt.dll"};
    for (const wchar_t* program : kPrograms) {
        const PeFacts facts = pe_facts(built(program));
        ASSERT_TRUE(facts.valid) << narrow(program);
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, facts.subsystem) << narrow(program);
        EXPECT_FALSE(facts.imports.empty()) << narrow(program);
        for (const std::string& import : facts.imports) {
            const bool system = std::any_of(std::begin(system_dlls), std::end(system_dlls),
                                            [&](const char* dll) { return _stricmp(dll, import.c_str()) == 0; });
            EXPECT_TRUE(system) << narrow(program) << " imports " << import;
        }
    }
}

TEST(Deliverables, CarryManifestRequestingHighestAvailableOnVistaAndSeven)
{
    for (const wchar_t* program : kPrograms) {
        LoadedAsData image(built(program));
        ASSERT_NE(nullptr, image.module) << narrow(program) << " error " << GetLastError();
        const std::string manifest = resource_bytes(image.module, RT_MANIFEST, MAKEINTRESOURCEW(1));
        EXPECT_NE(std::string::npos, manifest.find("level=\"highestAvailable\"")) << manifest;
        EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\"")) << manifest;
        EXPECT_NE(std::string::npos, manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}")) << manifest;
        EXPECT_NE(std::string::npos, manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}")) << manifest;
    }
}

TEST(Deliverables, CarryIconGroupOfTenImagesFrom16To256)
{
    for (const wchar_t* program : kPrograms) {
        LoadedAsData image(built(program));
        ASSERT_NE(nullptr, image.module) << narrow(program);
        const std::string group = resource_bytes(image.module, RT_GROUP_ICON, L"IDI_MYICON");
        ASSERT_GE(group.size(), 6u) << narrow(program) << ": no icon group IDI_MYICON";
        WORD count = 0;
        memcpy(&count, group.data() + 4, sizeof(count));
        ASSERT_EQ(10, count);
        ASSERT_EQ(6 + 10 * sizeof(IconGroupEntry), group.size());
        std::vector<int> sizes;
        for (WORD i = 0; i < count; ++i) {
            IconGroupEntry entry;
            memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
            sizes.push_back(entry.width == 0 ? 256 : entry.width);
            EXPECT_FALSE(resource_bytes(image.module, RT_ICON, MAKEINTRESOURCEW(entry.id)).empty());
        }
        EXPECT_EQ(16, *std::min_element(sizes.begin(), sizes.end()));
        EXPECT_EQ(256, *std::max_element(sizes.begin(), sizes.end()));
    }
}

TEST(Deliverables, RunSilentlyFromAnInstallTreeAndExitZero)
{
    remove_registration();
    testsupport::TempDir temp;
    for (const wchar_t* program : kPrograms) {
        const std::wstring placed = temp / (std::wstring(L"Root\\Framework\\bin\\Win64\\setup\\") + program);
        ASSERT_TRUE(testsupport::copy_file(built(program), placed)) << narrow(placed);
        EXPECT_EQ(0u, testsupport::run_and_wait(L"\"" + placed + L"\" /ignored arguments")) << narrow(placed);
    }
    remove_registration();
}
