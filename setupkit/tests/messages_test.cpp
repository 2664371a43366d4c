// Message boxes closed by a watcher thread as a user would, string resources from this program's
// own string table (messages_test.rc.in), and window texts read back with GetWindowTextW.
#include "setupkit/messages.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

using testsupport::GuardedBuffer;
using testsupport::narrow;

namespace {

constexpr UINT kOk = 1;
constexpr UINT kEncodedUUmlaut = 2;
constexpr UINT kCjk = 3;
constexpr UINT kGreeting = 4;
constexpr UINT kLong = 6;
constexpr UINT kMissing = 7;
constexpr UINT kHundred = 100;

// Waits on its own thread for the information box, reads it and presses OK, as a user would.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { watch(); }) {}
    ~BoxWatcher() { stop(); }

    // Stops watching (a box found before stays found) and returns whether a box was found.
    bool stop()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        return found_;
    }

    std::wstring text;
    bool topmost = false;
    HICON icon = nullptr;

private:
    // The icon shown by the box's icon control (its control id differs between Wine and Windows).
    static BOOL CALLBACK find_icon(HWND child, LPARAM found)
    {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            return TRUE;
        *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
    }

    void watch()
    {
        while (!stopping_) {
            HWND box = FindWindowW(L"#32770", L"INFORMATION");
            if (box) {
                // The message text is the static control with id 0xFFFF.
                wchar_t buffer[4096] = {};
                GetDlgItemTextW(box, 0xFFFF, buffer, 4096);
                text = buffer;
                topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
                EnumChildWindows(box, find_icon, reinterpret_cast<LPARAM>(&icon));
                found_ = true;
                // WM_CLOSE would give IDCANCEL under Wine; the user presses OK.
                SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                return;
            }
            Sleep(10);
        }
    }

    std::atomic<bool> stopping_{false};
    bool found_ = false;
    std::thread thread_;
};

const HINSTANCE own_module = GetModuleHandleW(nullptr);

// The full two-call protocol: size, then fill; both results must agree. Returns the text.
std::wstring load_checked(UINT id, UINT offset, int expected_size)
{
    const int size = load_resource_text(id, own_module, offset, nullptr, 0);
    EXPECT_EQ(expected_size, size) << "size of entry " << id << " + " << offset;
    if (size < 2)
        return std::wstring();
    GuardedBuffer buffer(size);
    EXPECT_EQ(size, load_resource_text(id, own_module, offset, buffer.data(), size))
        << "fill of entry " << id << " + " << offset;
    // The text and its terminator fill all but the spare last character.
    EXPECT_TRUE(buffer.untouched(size - 1)) << "the spare character was written";
    // One character short of the text and its terminator: 1 and the empty text. MultiByteToWideChar
    // leaves the text there, unterminated, when it fails for want of room.
    if (size > 2) {
        GuardedBuffer small(size - 2);
        EXPECT_EQ(1, load_resource_text(id, own_module, offset, small.data(), size - 2)) << "entry " << id;
        EXPECT_EQ(L"", GUARDED_TEXT(small, 1)) << "a failed fill must not leave an unterminated text";
    }
    return GUARDED_TEXT(buffer, size - 1);
}

std::wstring window_text(HWND window)
{
    GuardedBuffer buffer(256);
    const int length = GetWindowTextW(window, buffer.data(), 256);
    return GUARDED_TEXT(buffer, length + 1);
}

} // namespace

TEST(InformationBox, ShowsTheTextOrTheSystemsOwnInATopmostBoxAndReturnsWhenClosed)
{
    // Code 0 stands for show_information and its text. The text of ERROR_BAD_EXE_FORMAT holds an
    // insert (%1), which the system refuses to format unless told to leave inserts alone. A customer
    // code (bit 29) has no text: no box. Were one shown, the call would return only once the watcher
    // had found and closed it.
    const std::wstring text = L"Setup finished.\nGr\u00FC\u00DFe \u65E5\u672C";
    for (const DWORD code : {DWORD{0}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_FILE_NOT_FOUND},
                             DWORD{ERROR_BAD_EXE_FORMAT}, DWORD{0x2000BEEF}}) {
        const std::wstring expected = code ? testsupport::expected_system_text(code) : text;
        BoxWatcher watcher;
        if (code)
            show_system_error(code);
        else
            show_information(text.c_str());
        EXPECT_EQ(!expected.empty(), watcher.stop()) << "whether a box was shown for code " << code;
        EXPECT_EQ(expected, watcher.text) << "code " << code << ": " << narrow(watcher.text);
        if (expected.empty())
            continue;
        EXPECT_EQ(LoadIconW(nullptr, IDI_INFORMATION), watcher.icon) << "not the information icon, code " << code;
        // Wine 8 does not apply MB_TOPMOST: its box lacks WS_EX_TOPMOST.
        EXPECT_TRUE(watcher.topmost || testsupport::running_under_wine()) << "code " << code;
    }
}

TEST(ResourceText, EntryOfStringIdPlusOffsetIsDecodedAsUtf8BytesStoredAsWindows1252CharactersAndTooSmallIsEmpty)
{
    // A missing entry is the empty text of size two; a long one is cut to its first 4159 characters.
    // U+0178 is windows-1252's character for the byte 0x9F: C3 9F is U+00DF. A character without a
    // windows-1252 mapping becomes the code page's default character.
    CPINFO code_page = {};
    ASSERT_TRUE(GetCPInfo(1252, &code_page)) << "error " << GetLastError();
    const struct {
        UINT id;
        UINT offset;
        int size;
        std::wstring text;
    } cases[] = {
        {kMissing, 0, 2, L""},          {kOk, 0, 4, L"OK"},
        {kEncodedUUmlaut, 0, 3, L"\u00FC"}, {kGreeting, 0, 7, L"Gr\u00FC\u00DFe"},
        {kHundred, 5, 11, L"entry 105"}, {kHundred, 0, 11, L"entry 100"},
        {105, 0, 11, L"entry 105"},     {kLong, 0, 4161, std::wstring(4159, L'a')},
        {kCjk, 0, 3, std::wstring(1, static_cast<wchar_t>(code_page.DefaultChar[0]))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, load_checked(c.id, c.offset, c.size)) << "entry " << c.id << " + " << c.offset;
}

class WindowTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = CreateWindowExW(0, L"STATIC", L"before", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  own_module, nullptr);
        ASSERT_NE(nullptr, window_) << "error " << GetLastError();
        control_ = CreateWindowExW(0, L"EDIT", L"before", WS_CHILD, 0, 0, 100, 20, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), own_module, nullptr);
        ASSERT_NE(nullptr, control_) << "error " << GetLastError();
    }

    void TearDown() override
    {
        if (window_)
            DestroyWindow(window_);
    }

    static constexpr int kControlId = 1001;
    HWND window_ = nullptr;
    HWND control_ = nullptr;
};

TEST_F(WindowTexts, ResourceSettersGiveTheExactDecodedText)
{
    set_window_resource_text(kGreeting, own_module, window_, 0);
    EXPECT_EQ(L"Gr\u00FC\u00DFe", window_text(window_)) << narrow(window_text(window_));

    set_dialog_item_resource_text(kHundred, own_module, window_, kControlId, 5);
    EXPECT_EQ(L"entry 105", window_text(control_));

    set_window_resource_text(kMissing, own_module, window_, 0);
    EXPECT_EQ(L"", window_text(window_));
}

TEST_F(WindowTexts, DialogItemTextIgnoresItsModuleArgumentAndMissingControls)
{
    set_dialog_item_text(L"Gr\u00FC\u00DFe", reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(0x1234)), window_,
                         kControlId);
    EXPECT_EQ(L"Gr\u00FC\u00DFe", window_text(control_));

    set_dialog_item_text(L"elsewhere", nullptr, window_, kControlId + 1);
    set_dialog_item_resource_text(kOk, own_module, window_, kControlId + 1, 0);
    EXPECT_EQ(L"Gr\u00FC\u00DFe", window_text(control_));
    EXPECT_EQ(L"before", window_text(window_));
}
