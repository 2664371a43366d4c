#include "testsupport/probe_report.h"

#include "testsupport/files.h"

#include <windows.h>

namespace testsupport {

void ProbeReportWriter::add(const std::string& key, const std::string& value)
{
    text_ += key + "=" + value + "\n";
}

void ProbeReportWriter::add(const std::string& key, const wchar_t* value)
{
    add(key, narrow(value));
}

bool ProbeReportWriter::save(const wchar_t* path) const
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool saved = WriteFile(file, text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr) &&
                       written == text_.size();
    CloseHandle(file);
    return saved;
}

ProbeReport read_probe_report(const std::wstring& path)
{
    ProbeReport report;
    const std::string text = read_bytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return report;
}

} // namespace testsupport
