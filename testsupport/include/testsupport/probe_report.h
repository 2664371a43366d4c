// What the small probe programs report to the tests that run them: UTF-8 lines "key=value",
// written to the file named on the probe's command line.
#pragma once

#include <map>
#include <string>

namespace testsupport {

using ProbeReport = std::map<std::string, std::string>;

class ProbeReportWriter {
public:
    void add(const std::string& key, const std::string& value);
    void add(const std::string& key, const wchar_t* value);
    // False when the file cannot be written.
    bool save(const wchar_t* path) const;

private:
    std::string text_;
};

// The lines of a saved report; empty when the file cannot be read.
ProbeReport read_probe_report(const std::wstring& path);

// Copies the probe program `probe` (a file name beside the running test) to `placed`, runs it
// there with `report_file` as its argument and returns what it reported; a probe that cannot be
// placed or does not exit with 0 fails the current test.
ProbeReport run_probe(const wchar_t* probe, const std::wstring& placed, const std::wstring& report_file);

} // namespace testsupport
