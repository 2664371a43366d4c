// The child program of the launching tests.
//   launch_child REPORT SLEEP EXIT [EVENT]
//     sleeps SLEEP milliseconds ("forever": never ends), sets the event whose handle value (decimal)
//     is EVENT, if it can, writes REPORT ("-" for none) and exits with EXIT. REPORT tells what the
//     child saw: "flags=<dwFlags> show=<wShowWindow> event=<1 when set, else 0>".
//   launch_child terminate TEXT REPORT
//     calls terminate_processes_by_name(TEXT), writes "result=<result>" into REPORT, exits 42:
//     an exit code of 0 means it terminated itself.
#include "setupkit/launching.h"

#include "testsupport/files.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

void write_report(const wchar_t* path, const std::string& text)
{
    if (wcscmp(path, L"-") == 0)
        return;
    // Written under another name first, so a reader never sees half a report.
    const std::wstring partial = std::wstring(path) + L".partial";
    testsupport::write_bytes(partial, text);
    MoveFileExW(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

int run(int argc, wchar_t** argv)
{
    if (argc >= 4 && wcscmp(argv[1], L"terminate") == 0) {
        const int result = terminate_processes_by_name(argv[2]);
        write_report(argv[3], "result=" + std::to_string(result));
        return 42;
    }
    if (argc < 4)
        return 2;

    if (wcscmp(argv[2], L"forever") == 0)
        Sleep(INFINITE);
    Sleep(static_cast<DWORD>(wcstoul(argv[2], nullptr, 10)));

    int event_set = 0;
    if (argc >= 5) {
        const HANDLE event = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(wcstoull(argv[4], nullptr, 10)));
        event_set = SetEvent(event) ? 1 : 0;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    write_report(argv[1], "flags=" + std::to_string(startup.dwFlags) + " show=" + std::to_string(startup.wShowWindow) +
                              " event=" + std::to_string(event_set));
    return static_cast<int>(wcstoul(argv[3], nullptr, 10));
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    const int exit_code = run(argc, argv);
    LocalFree(argv);
    return exit_code;
}
