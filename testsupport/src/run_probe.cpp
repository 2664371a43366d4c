// Kept apart from the report format, which the probes themselves link: only tests run probes.
#include "testsupport/probe_report.h"

#include "testsupport/files.h"
#include "testsupport/process.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace testsupport {

ProbeReport run_probe(const wchar_t* probe, const std::wstring& placed, const std::wstring& report_file)
{
    if (!copy_file(own_directory() + probe, placed)) {
        ADD_FAILURE() << "cannot copy the probe to " << narrow(placed) << ", error " << GetLastError();
        return ProbeReport();
    }
    const DWORD exit_code = run_program(L"\"" + placed + L"\" \"" + report_file + L"\"");
    EXPECT_EQ(0u, exit_code) << narrow(placed) << ", error " << GetLastError();
    return read_probe_report(report_file);
}

} // namespace testsupport
