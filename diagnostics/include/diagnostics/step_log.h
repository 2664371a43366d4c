// The programs' opt-in step log. With "/log=<path>" as the program's only argument each step
// appends one UTF-8 line to that file: what it did with which inputs, and the outcome read back
// from the system. With no argument or any other, nothing is opened; a log that cannot be opened
// or written changes nothing the program does.
#pragma once

#include "diagnostics/text.h"

#include "setupkit/scope.h"

#include <windows.h>

class StepLog {
public:
    // `command_line` is the whole command line, program name first; `program` names the run.
    // Writes the run header when the log opens.
    StepLog(const wchar_t* command_line, const wchar_t* program);
    // Writes the closing line and closes the file.
    ~StepLog();
    StepLog(const StepLog&) = delete;
    StepLog& operator=(const StepLog&) = delete;

    bool active() const { return file_ != INVALID_HANDLE_VALUE; }

    // The run's inputs as the program read them: the install root, the start-menu folder name and the
    // scope (reported with the reason for it). The revision suffix and the scope's Programs folder,
    // which the shortcut operations read for themselves, are read here the same way, only while the
    // log is active; the shortcut and folder steps are reported below that folder.
    void inputs(const wchar_t* install_root, const wchar_t* folder_name, Scope scope);

    // The shortcut relative_folder + name [+ " " + suffix] + ".lnk" in the Programs folder, as the
    // program handed them to the library (relative_folder is "\Name\"): after a creation it must
    // exist and start `target`; after a deletion it must be gone.
    void shortcut_created(const wchar_t* relative_folder, const wchar_t* name, const wchar_t* target);
    void shortcut_deleted(const wchar_t* relative_folder, const wchar_t* name);
    // A start-menu folder (relative_folder is "\Name\..."): gone, or kept because it is not empty.
    void folder_removed(const wchar_t* relative_folder);

    // The variable in the scope's key: it must hold `value`; after a deletion it must be gone (a
    // machine-scope deletion removes the user's copy too). With `root`, a value that does not lie in
    // it is another installation's: kept, not a failure.
    void variable_set(const wchar_t* name, const wchar_t* value, Scope scope);
    void variable_deleted(const wchar_t* name, Scope scope, const wchar_t* root = nullptr);

private:
    void begin(const wchar_t* step);
    void end_line();
    void add_error(DWORD code);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    const wchar_t* program_;
    wchar_t* programs_ = nullptr;
    wchar_t* suffix_ = nullptr;
    Text line_;
};
