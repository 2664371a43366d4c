#include "setupkit/registry_probes.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

using testsupport::GuardedBuffer;
using testsupport::narrow;

namespace {

const wchar_t kBase[] = L"SOFTWARE\\Setupkit Probe Tests";

std::wstring under_base(const std::wstring& relative)
{
    return std::wstring(kBase) + L"\\" + relative;
}

// A scratch tree under HKEY_LOCAL_MACHINE (or another root), removed from both registry views
// before and after each case.
class ScratchKeys : public ::testing::Test {
protected:
    explicit ScratchKeys(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}
    void SetUp() override
    {
        if (root_ == HKEY_LOCAL_MACHINE)
            SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's HKEY_LOCAL_MACHINE");
        delete_both_views();
    }
    void TearDown() override
    {
        if (root_ != HKEY_LOCAL_MACHINE || testsupport::this_machine_may_change())
            delete_both_views();
    }

    void delete_both_views()
    {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(root_, kBase, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
                continue;
            RegDeleteTreeW(key, nullptr);
            RegCloseKey(key);
            RegDeleteKeyExW(root_, kBase, view, 0);
        }
    }

    // The key, in the process's own view unless one is given, and the value when one is named.
    void create(const std::wstring& relative, REGSAM view = 0, const wchar_t* name = nullptr, DWORD type = 0,
                const void* data = nullptr, DWORD bytes = 0)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root_, under_base(relative).c_str(), 0, nullptr, 0,
                                                 KEY_SET_VALUE | view, nullptr, &key, nullptr))
            << narrow(under_base(relative));
        const LONG result = name ? RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes) : 0;
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, result) << "setting the value";
    }

    HKEY root_;
};

using SubkeySearch = ScratchKeys;

} // namespace

// The view flag matters to a 32-bit process on 64-bit Windows (the shipped programs): without it
// the search sees the redirected 32-bit view (Wow6432Node), with it the 64-bit view. A 64-bit
// process sees the 64-bit view either way.
TEST_F(SubkeySearch, SubkeyNameContainsTheTextIgnoringAsciiCaseInTheChosenViewAndAMissingKeyIsLeftBehindEmpty)
{
    create(L"Single\\Only");
    const DWORD data = 1;
    create(L"Leaf", 0, L"value", REG_DWORD, &data, sizeof(data));
    for (const wchar_t* name : {L"Alpha", L"Cluster hPc Node", L"\x00C4pfel" /* capital A with umlaut */, L"Zeta"})
        create(std::wstring(L"Parent\\") + name);
    create(L"Parent\\Only64", KEY_WOW64_64KEY);
    create(L"Parent\\Only32", KEY_WOW64_32KEY);
    const bool wow64 = testsupport::is_wow64_process();
    const struct {
        const wchar_t* parent;
        const wchar_t* text;
        bool sixty_four_bit_view;
        bool found;
    } rows[] = {
        {L"Single", L"", false, true}, // the empty text matches the only sub-key
        {L"Leaf", L"", false, false},  // but no key without sub-keys
        {L"Leaf", L"value", false, false}, // values are not sub-keys
        {L"Parent", L"HPC", false, true},
        {L"Parent", L"hpc", false, true},
        {L"Parent", L"cluster HPC node", false, true},
        {L"Parent", L"zeta", false, true},
        {L"Parent", L"\x00C4PFEL", false, true},
        {L"Parent", L"\x00E4pfel", false, false}, // small a with umlaut: not folded
        {L"Parent", L"Gamma", false, false},
        {L"Parent", L"Cluster hPc Node and more", false, false},
        {L"Parent", L"Only64", true, true},
        {L"Parent", L"Only32", true, false},
        {L"Parent", L"Only64", false, !wow64},
        {L"Parent", L"Only32", false, wow64},
        {L"Missing\\Deeper", L"", false, false}, // a missing key: the search creates it
        {L"Missing\\Deeper", L"", false, false}, // and now opens it, empty
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.found, registry_has_subkey_containing(under_base(row.parent).c_str(), row.text,
                                                            row.sixty_four_bit_view))
            << narrow(row.parent) << ", \"" << narrow(row.text) << "\", 64-bit view " << row.sixty_four_bit_view
            << ", WoW64 " << wow64;
    }

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, under_base(L"Missing\\Deeper").c_str(), 0, KEY_READ, &key))
        << "the search creates the key it looks at";
    DWORD subkeys = 0xDEADBEEF;
    DWORD values = 0xDEADBEEF;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, values);
}

TEST(ToUpperAscii, CapitalisesOnlyAToZ)
{
    const wchar_t source[] = L"hpc`az{AZ@[09 \x00E4\x00E9\x0101\x03B1";
    const wchar_t expected[] = L"HPC`AZ{AZ@[09 \x00E4\x00E9\x0101\x03B1";
    GuardedBuffer destination(static_cast<int>(wcslen(source)) + 1);
    to_upper_ascii(source, destination.data());
    EXPECT_EQ(expected, GUARDED_TEXT(destination, destination.capacity()));

    wchar_t in_place[] = L"mixed Case hpc";
    to_upper_ascii(in_place, in_place);
    EXPECT_EQ(std::wstring(L"MIXED CASE HPC"), std::wstring(in_place));

    GuardedBuffer empty(1);
    to_upper_ascii(L"", empty.data());
    EXPECT_EQ(L"", GUARDED_TEXT(empty, 1));
}

namespace {

class RegistryString : public ScratchKeys {
protected:
    RegistryString() : ScratchKeys(HKEY_CURRENT_USER) {}
};

} // namespace

// Each value is read by the key's path and again from the caller's open handle to the key with an empty path:
// RegOpenKeyW hands back the root handle itself for an empty path, and closing that handle would take the
// caller's own key away.
TEST_F(RegistryString, ValueIsReadAsTextWhateverItsTypeBoundedByTheBufferByPathOrFromTheCallersKey)
{
    struct Case {
        const char* what;
        DWORD type;
        std::vector<unsigned char> bytes;
        std::wstring expected;
        const wchar_t* name = L"value"; // the value read
    };
    auto text_bytes = [](const std::wstring& text, bool terminated) {
        const unsigned char* first = reinterpret_cast<const unsigned char*>(text.c_str());
        const size_t count = (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
        return std::vector<unsigned char>(first, first + count);
    };
    const std::wstring fits(kRegistryStringChars - 1, L'f');
    const std::wstring too_long(kRegistryStringChars, L't');
    std::vector<unsigned char> fits_and_half = text_bytes(fits, false);
    fits_and_half.push_back('x');
    std::vector<unsigned char> too_long_and_half = text_bytes(too_long, false);
    too_long_and_half.push_back('x');

    const Case cases[] = {
        {"terminated string", REG_SZ, text_bytes(L"C:\\Program Files\\Suite", true), L"C:\\Program Files\\Suite"},
        {"string without terminator", REG_SZ, text_bytes(L"abc", false), L"abc"},
        {"expandable string, not expanded", REG_EXPAND_SZ, text_bytes(L"%TEMP%\\x", true), L"%TEMP%\\x"},
        {"DWORD 0x00420041 as two characters", REG_DWORD, {0x41, 0x00, 0x42, 0x00}, L"AB"},
        {"odd byte count drops the half character", REG_BINARY, {'A', 0, 'B'}, L"A"},
        {"embedded terminator ends the text", REG_SZ, text_bytes(std::wstring(L"ab\0cd", 5), true), L"ab"},
        {"259 characters and terminator fill the buffer", REG_SZ, text_bytes(fits, true), fits},
        {"259 characters without terminator", REG_SZ, text_bytes(fits, false), fits},
        {"259 characters and half of another", REG_BINARY, fits_and_half, fits},
        {"260 characters without terminator leave no room", REG_SZ, text_bytes(too_long, false), L""},
        {"260 characters and half of another", REG_BINARY, too_long_and_half, L""},
        {"260 characters and terminator do not fit", REG_SZ, text_bytes(too_long, true), L""},
        {"empty data", REG_BINARY, {}, L""},
        {"missing value gives the empty text", REG_SZ, text_bytes(L"other", true), L"", L"absent"},
    };
    create(L"Key");
    HKEY own_key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, under_base(L"Key").c_str(), 0, KEY_READ, &own_key));
    for (const Case& c : cases) {
        create(L"Key", 0, L"value", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        for (const auto& [root, path] : {std::make_pair(HKEY_CURRENT_USER, under_base(L"Key")),
                                         std::make_pair(own_key, std::wstring())}) {
            GuardedBuffer buffer(kRegistryStringChars);
            read_registry_string(root, path.c_str(), buffer.data(), c.name);
            EXPECT_EQ(c.expected, GUARDED_TEXT(buffer, kRegistryStringChars))
                << c.what << " (" << c.bytes.size() << " bytes)" << (path.empty() ? ", from the open key" : "");
        }
    }
    DWORD bytes = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(own_key, L"value", nullptr, nullptr, nullptr, &bytes))
        << "the caller's key was closed";
    RegCloseKey(own_key);

    GuardedBuffer untouched(kRegistryStringChars);
    read_registry_string(HKEY_CURRENT_USER, under_base(L"Missing").c_str(), untouched.data(), L"value");
    EXPECT_TRUE(untouched.untouched()) << "a key that cannot be opened";
}
