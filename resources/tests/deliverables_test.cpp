// What the installer ships, as the release build made it and as signed: programs of the declared
// subsystem and DLLs, built for this architecture, programs that take their imports' dependencies
// from the system folder (load configuration) and carry the manifest and icon group, a version
// resource, and a signature only once signed. What they import (system DLLs only, each function
// reviewed), scripts/check-imports.sh reads from the built files. That they run silently to exit
// status 0 from an install tree, with or without arguments, the programs' own tests show, and the
// installers' test for the signed copies.
#include "testsupport/files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

using testsupport::narrow;

namespace {

// A shipped program or DLL as the build declares it: the file name, whether it is a GUI program or
// a DLL; where this copy lies, and whether it is the copy signed with the tests' throwaway certificate.
struct Shipped {
    std::wstring file;
    bool gui;
    bool dll;
    std::wstring path;
    bool signed_copy;
};

// The build lists them beside this test, "name gui|console|dll" a line; each comes as built and signed.
std::vector<Shipped> shipped_programs()
{
    std::vector<Shipped> programs;
    std::ifstream list(narrow(testsupport::own_directory() + L"shipped_programs.txt"));
    std::string name, kind;
    while (list >> name >> kind) {
        const bool dll = kind == "dll";
        const std::wstring file = std::wstring(name.begin(), name.end()) + (dll ? L".dll" : L".exe");
        programs.push_back({file, kind == "gui", dll, testsupport::own_directory() + file, false});
        if constexpr (SETUPKIT_SIGNED_COPIES)
            programs.push_back({file, kind == "gui", dll, testsupport::own_directory() + L"signed\\" + file, true});
    }
    return programs;
}

const std::vector<Shipped> kPrograms = shipped_programs();

// One string of the version resource's US English, Unicode block.
std::wstring version_string(const std::vector<BYTE>& info, const wchar_t* name)
{
    void* value = nullptr;
    UINT units = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &units) || units == 0)
        return std::wstring();
    return static_cast<const wchar_t*>(value);
}

// The file mapped with the layout of an image, neither run nor its imports loaded; null on failure.
using LoadedAsData = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;
LoadedAsData load_as_data(const std::wstring& path)
{
    return {LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
            &FreeLibrary};
}

std::string resource_bytes(HMODULE module, const wchar_t* type, const wchar_t* name)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

// An icon group's entries (GRPICONDIRENTRY) follow its 6-byte header, 14 bytes each: the width first
// (0 for 256), the icon's resource id last.
constexpr size_t kIconEntryBytes = 14;

} // namespace

TEST(Deliverables, AreTheDeclaredKindAndProgramsCarryLoadConfigurationManifestAndIconGroup)
{
    ASSERT_FALSE(kPrograms.empty()) << "no shipped_programs.txt beside the test";
    for (const Shipped& program : kPrograms) {
        const std::string name = narrow(program.path);
        const LoadedAsData image = load_as_data(program.path);
        ASSERT_NE(nullptr, image.get()) << name << " error " << GetLastError();
        // The module's base without the tag bits that LoadLibraryExW sets on a module loaded as data.
        const char* base = reinterpret_cast<const char*>(reinterpret_cast<ULONG_PTR>(image.get()) & ~ULONG_PTR(3));
        const auto* nt =
            reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        // Built for the architecture of this test, which runs it, and read with its header layout.
        EXPECT_EQ(sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64, nt->FileHeader.Machine)
            << name;
        ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR_MAGIC, nt->OptionalHeader.Magic) << name;
        const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
        // Unsigned unless signed on purpose.
        EXPECT_EQ(program.signed_copy, directories[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0) << name;
        EXPECT_EQ(program.dll, (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0) << name;
        EXPECT_EQ(program.gui || program.dll ? IMAGE_SUBSYSTEM_WINDOWS_GUI : IMAGE_SUBSYSTEM_WINDOWS_CUI,
                  nt->OptionalHeader.Subsystem) << name;
        if (program.dll)
            continue;
        // The imports' DLLs come from the system folder only (LOAD_LIBRARY_SEARCH_SYSTEM32, Windows
        // 10 1607 on). XP and Server 2003 require 64 bytes on x86, short of the safe-handler table.
        // DependentLoadFlags follows CSDVersion, whatever a header's version calls it.
        const IMAGE_DATA_DIRECTORY& load_config = directories[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
        ASSERT_NE(0u, load_config.VirtualAddress) << name << " has no load configuration";
        const char* config = base + load_config.VirtualAddress;
        DWORD size = 0;
        WORD flags = 0;
        memcpy(&size, config, sizeof(size));
        memcpy(&flags, config + offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, CSDVersion) + sizeof(WORD), sizeof(flags));
        EXPECT_EQ(0x800, flags) << name;
        EXPECT_EQ(sizeof(void*) == 4 ? 64u : 96u, load_config.Size) << name;
        EXPECT_EQ(load_config.Size, size) << name;

        // The two programs ask for the highest rights available; the console tool runs as its caller.
        const std::string manifest = resource_bytes(image.get(), RT_MANIFEST, MAKEINTRESOURCEW(1));
        const char* const level = program.gui ? "level=\"highestAvailable\"" : "level=\"asInvoker\"";
        EXPECT_NE(std::string::npos, manifest.find(level)) << name << manifest;
        EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\"")) << manifest;
        EXPECT_NE(std::string::npos, manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}")) << manifest;
        EXPECT_NE(std::string::npos, manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}")) << manifest;

        const std::string group = resource_bytes(image.get(), RT_GROUP_ICON, L"IDI_MYICON");
        ASSERT_GE(group.size(), 6u) << name << ": no icon group IDI_MYICON";
        WORD count = 0;
        memcpy(&count, group.data() + 4, sizeof(count));
        ASSERT_EQ(10, count) << name;
        ASSERT_EQ(6 + 10 * kIconEntryBytes, group.size()) << name;
        std::vector<int> sizes;
        for (const char* entry = group.data() + 6; entry < group.data() + group.size(); entry += kIconEntryBytes) {
            WORD id = 0;
            memcpy(&id, entry + kIconEntryBytes - sizeof(id), sizeof(id));
            sizes.push_back(static_cast<BYTE>(entry[0]) == 0 ? 256 : static_cast<BYTE>(entry[0]));
            EXPECT_FALSE(resource_bytes(image.get(), RT_ICON, MAKEINTRESOURCEW(id)).empty()) << name << " icon " << id;
        }
        EXPECT_EQ(16, *std::min_element(sizes.begin(), sizes.end())) << name;
        EXPECT_EQ(256, *std::max_element(sizes.begin(), sizes.end())) << name;
    }
}

TEST(Deliverables, CarryTheVersionOfTheBuild)
{
    for (const Shipped& program : kPrograms) {
        const std::string name = narrow(program.path);
        DWORD ignored = 0;
        std::vector<BYTE> info(GetFileVersionInfoSizeW(program.path.c_str(), &ignored));
        ASSERT_FALSE(info.empty()) << name << " has no version resource";
        ASSERT_TRUE(GetFileVersionInfoW(program.path.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) << name;
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT bytes = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes)) << name;
        auto dotted = [](DWORD high, DWORD low) {
            return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
                   std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
        };
        // Installers compare the fixed file version, which must carry the build number; the product
        // version stays the suite release's.
        EXPECT_EQ(SETUPKIT_FILE_VERSION, dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS)) << name;
        EXPECT_EQ(SETUPKIT_PRODUCT_VERSION, dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS)) << name;
        EXPECT_EQ(static_cast<DWORD>(program.dll ? VFT_DLL : VFT_APP), fixed->dwFileType) << name;
        EXPECT_EQ(SETUPKIT_FILE_VERSION, version_string(info, L"FileVersion")) << name;
        EXPECT_EQ(SETUPKIT_PRODUCT_VERSION, version_string(info, L"ProductVersion")) << name;
        EXPECT_EQ(program.file, version_string(info, L"OriginalFilename")) << name;
        EXPECT_NE(std::wstring::npos, version_string(info, L"ProductName").find(L"VELMORA")) << name;
        EXPECT_NE(std::wstring::npos, version_string(info, L"FileDescription").find(L"VELMORA")) << name;
    }
}
