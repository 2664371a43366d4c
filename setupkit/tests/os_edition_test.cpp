#include "setupkit/os_edition.h"
#include "setupkit/registry_probes.h"

#include "os_edition_decision.h"

#include "testsupport/files.h"
#include "testsupport/probe_report.h"
#include "testsupport/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

using testsupport::TempDir;
using testsupport::narrow;

namespace {

using Report = testsupport::ProbeReport;

const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\";
// Contains "hpc" in mixed case: the edition test must ignore ASCII case.
const wchar_t kHpcKey[] = L"SOFTWARE\\Microsoft\\Setupkit Test hPc Marker";

// Runs a copy of the edition probe under Wine's per-program version emulation, set under the
// program's file name and read when it starts. Each emulated version gets its own copy of the
// probe, so no override leaks into another run.
Report run_probe_as(const std::wstring& version)
{
    TempDir temp;
    const std::wstring exe_name = L"edition_probe_" + version + L".exe";
    const std::wstring key = kAppDefaults + exe_name;
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))))
        << "AppDefaults version for " << narrow(exe_name);
    const Report report = testsupport::run_probe(L"edition_probe.exe", temp / exe_name, temp / L"report.txt");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    return report;
}

// While alive, the HPC marker key in the 64-bit view of HKEY_LOCAL_MACHINE.
struct HpcKey {
    HpcKey()
    {
        HKEY key = nullptr;
        created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHpcKey, 0, nullptr, 0, KEY_READ | KEY_WOW64_64KEY, nullptr,
                                  &key, nullptr);
        if (created == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    ~HpcKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kHpcKey, KEY_WOW64_64KEY, 0); }
    LONG created;
};

struct EmulatedRow {
    const wchar_t* version;
    const char* reported; // as Wine 8 reports it: "major.minor type product-type"
    const char* member;           // the members the probe reports set: without the HPC key, and with it
    const char* member_with_hpc_key;
    const char* service_pack;
    const char* dll_search; // what restrict_dll_search reports, and the DLL directory it leaves
    const char* dll_directory;
};

} // namespace

TEST(WineVersionEmulation, EachEmulatedVersionSetsItsOneMemberHpcForServersWithTheKeyAndItsDllSearchRestriction)
{
    if (!testsupport::running_under_wine())
        GTEST_SKIP() << "version emulation through AppDefaults exists only under Wine";
    // Wine 8 swaps the product types of win7 and win2008r2: "win7" reports a server and
    // "win2008r2" a workstation, so those two rows reach the other edition.
    // win8 and win10 report 6.2 because the probe's manifest declares Vista and 7 only, as on Windows.
    // GetProductInfo reports 7 (standard server) under Wine, never 18: the HPC key decides, whatever
    // the case of its name, and it makes no workstation a server.
    // Wine's kernel32 offers SetDefaultDllDirectories whatever version it reports, so the 5.2 rows
    // restrict as far as Windows 8 does; 6.0 must fall back to SetDllDirectoryW(L""), which clears
    // the probe's sentinel directory.
    const char* const sentinel = "C:\\dll directory sentinel";
    const char* const system_only = "system folder only";
    const char* const hpc = "is_windows_hpc_server";
    const EmulatedRow rows[] = {
        {L"winxp64", "5.2 type 1", "is_windows_xp", "is_windows_xp", "Service Pack 2", system_only, sentinel},
        {L"win2003", "5.2 type 3", "is_windows_server_2003", "is_windows_server_2003", "Service Pack 2", system_only,
         sentinel},
        {L"vista", "6.0 type 1", "is_windows_vista", "is_windows_vista", "Service Pack 2", "current folder removed", ""},
        {L"win2008", "6.0 type 3", "is_windows_server_2008", hpc, "Service Pack 2", "current folder removed", ""},
        {L"win7", "6.1 type 3", "is_windows_server_2008_r2", hpc, "Service Pack 1", system_only, sentinel},
        {L"win2008r2", "6.1 type 1", "is_windows_7", "is_windows_7", "Service Pack 1", system_only, sentinel},
        {L"win8", "6.2 type 1", "is_windows_8", "is_windows_8", "", system_only, sentinel},
        {L"win10", "6.2 type 1", "is_windows_8", "is_windows_8", "", system_only, sentinel},
    };
    ASSERT_FALSE(registry_has_subkey_containing(L"SOFTWARE\\Microsoft", L"HPC", true))
        << "the prefix has an HPC key under HKLM\\SOFTWARE\\Microsoft; the server rows would read as HPC";
    for (const bool with_key : {false, true}) {
        std::optional<HpcKey> hpc_key;
        if (with_key) {
            hpc_key.emplace();
            ASSERT_EQ(ERROR_SUCCESS, hpc_key->created) << "cannot create HKLM\\" << narrow(kHpcKey);
            // The key lies in the 64-bit view only. A 32-bit probe (the shipped build) finds it there because
            // the HPC test looks at the 64-bit view on a 64-bit processor; its default view does not show it.
            ASSERT_FALSE(testsupport::is_wow64_process() &&
                         registry_has_subkey_containing(L"SOFTWARE\\Microsoft", L"hPc Marker", false));
        }
        for (const EmulatedRow& row : rows) {
            const std::string context = "emulating " + narrow(row.version) + (with_key ? " with the HPC key" : "");
            const Report report = run_probe_as(row.version);
            ASSERT_EQ(row.reported, report.count("reported_version") ? report.at("reported_version") : "(no report)")
                << context << ": Wine's emulation no longer reports what it did when this table was measured";
            EXPECT_EQ(with_key ? row.member_with_hpc_key : row.member, report.at("members")) << context;
            EXPECT_EQ(row.service_pack, report.at("service_pack")) << context;
            EXPECT_EQ(row.dll_search, report.at("dll_search")) << context;
            EXPECT_EQ(row.dll_directory, report.at("dll_directory")) << context;
        }
    }
}

// The rows Wine cannot emulate (5.0, 5.1, 6.2 server, 6.3 and later, GetProductInfo 18), and those whose
// HPC test must not be made, which the emulation cannot see, are checked on the decision itself, each with
// the HPC test's two answers: where the answer makes a difference, the HPC test must be made.
TEST(OsEditionDecision, EveryVersionRowGivesItsMemberAndNeedsTheHpcTestOnlyWhereItCounts)
{
    const BYTE workstation = VER_NT_WORKSTATION;
    const BYTE controller = VER_NT_DOMAIN_CONTROLLER;
    const BYTE server = VER_NT_SERVER;
    const os_edition_member hpc = os_edition_windows_hpc_server;
    struct Row {
        unsigned long major;
        unsigned long minor;
        BYTE product_type;
        os_edition_member without_hpc;
        os_edition_member with_hpc;
    };
    const Row rows[] = {
        {5, 0, workstation, os_edition_windows_2000, os_edition_windows_2000},
        {5, 0, server, os_edition_windows_2000, os_edition_windows_2000},
        {5, 1, workstation, os_edition_windows_xp, os_edition_windows_xp},
        {5, 1, controller, os_edition_windows_xp, os_edition_windows_xp},
        {5, 2, workstation, os_edition_windows_xp, os_edition_windows_xp},
        {5, 2, server, os_edition_windows_server_2003, os_edition_windows_server_2003},
        {5, 2, controller, os_edition_windows_server_2003, os_edition_windows_server_2003},
        {5, 3, workstation, os_edition_none, os_edition_none},
        {5, 9, server, os_edition_none, os_edition_none},
        {6, 0, workstation, os_edition_windows_vista, os_edition_windows_vista},
        {6, 0, controller, os_edition_windows_server_2008, hpc},
        {6, 0, 0, os_edition_windows_server_2008, hpc},
        {6, 1, workstation, os_edition_windows_7, os_edition_windows_7},
        {6, 1, controller, os_edition_windows_server_2008_r2, hpc},
        {6, 1, 0, os_edition_windows_server_2008_r2, hpc},
        {6, 2, workstation, os_edition_windows_8, os_edition_windows_8},
        {6, 2, server, os_edition_none, os_edition_none},
        {6, 2, controller, os_edition_none, os_edition_none},
        {6, 3, workstation, os_edition_none, os_edition_none},
        {6, 3, server, os_edition_none, os_edition_none},
        {6, 4, server, os_edition_none, os_edition_none},
        {10, 0, workstation, os_edition_none, os_edition_none},
        {10, 0, 0, os_edition_none, os_edition_none},
        {4, 0, workstation, os_edition_none, os_edition_none},
        {0, 0, 0, os_edition_none, os_edition_none}, // what a failed GetVersionExW leaves
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor) + " type " +
                     std::to_string(row.product_type));
        EXPECT_EQ(row.without_hpc, decide_os_edition(row.major, row.minor, row.product_type, false));
        EXPECT_EQ(row.with_hpc, decide_os_edition(row.major, row.minor, row.product_type, true));
        EXPECT_EQ(row.with_hpc != row.without_hpc, is_hpc_test_needed(row.major, row.minor, row.product_type));
    }
}

TEST(ProcessorIdentifier, SixtyFourBitMarkersCountOnlyInTheirOwnCase)
{
    // The process's own value comes back at the end; no check here ends the case early.
    wchar_t own[1024] = L"";
    const DWORD own_length = GetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", own, 1024);
    const std::pair<std::wstring, bool> cases[] = {
        {L"Intel64 Family 6 Model 158 Stepping 10, GenuineIntel", true},
        {L"AMD64 Family 23 Model 113 Stepping 0, AuthenticAMD", true},
        {L"EM64T Family 15 Model 4 Stepping 1, GenuineIntel", true},
        {L"x86 Family 6 Model 15 Stepping 6, GenuineIntel", false},
        {L"amd64 family 23, authenticamd", false},
        {L"INTEL64 Family 6", false},
        {L"em64t", false},
        // Longer than any fixed buffer would be: the marker at the end still counts.
        {std::wstring(600, L'x') + L" AMD64", true},
        {L"", false},
    };
    for (const auto& entry : cases) {
        EXPECT_TRUE(SetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", entry.first.c_str())) << GetLastError();
        EXPECT_EQ(entry.second, is_64bit_processor()) << narrow(entry.first);
    }
    EXPECT_TRUE(SetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", nullptr)) << GetLastError();
    EXPECT_FALSE(is_64bit_processor()) << "unset";
    SetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", own_length > 0 && own_length < 1024 ? own : nullptr);
}
