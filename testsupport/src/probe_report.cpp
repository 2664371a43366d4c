#include "testsupport/probe_report.h"

#include "testsupport/files.h"

#include <sstream>

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
    write_bytes(path, text_);
    return file_exists(path) && read_bytes(path) == text_;
}

ProbeReport read_probe_report(const std::wstring& path)
{
    ProbeReport report;
    std::istringstream lines(read_bytes(path));
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return report;
}

} // namespace testsupport
