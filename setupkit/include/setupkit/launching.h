// Starting and stopping other programs. Every call blocks its caller until it is done and closes
// every handle it obtained before it returns. Command lines must be writable buffers: CreateProcessW
// may change the text while it works. Show commands are the platform's SW_ values.
#pragma once

// Terminates (exit code 0) every process, except the caller's own, whose executable file name
// contains `text` (case-sensitive substring; "" matches every name). Processes that cannot be
// opened are passed over. 1 when every termination tried succeeded (also when none was tried),
// 0 when one failed or the process list could not be taken.
int terminate_processes_by_name(const wchar_t* text);

// Starts the program (application_name may be null) at normal priority, handles not inherited.
// Unless no_wait is exactly 1, polls once a second, returning about a second after the child is
// seen ended (exit code 259 counts as running); the 30th poll terminates it. Always 0.
int run_and_wait_bounded(const wchar_t* application_name, wchar_t* command_line, unsigned short show_command,
                         int no_wait);

// Starts the file with its type's default verb through the shell and, when the shell hands back
// a process, waits for it without a time limit. The result of ShellExecuteExW.
bool shell_run_and_wait(const wchar_t* file, const wchar_t* parameters, unsigned short show_command);

// Opens the file through the shell (verb "open") and returns without waiting.
// The result of ShellExecuteExW.
bool shell_open(const wchar_t* file, const wchar_t* parameters, unsigned short show_command);

// Runs the command line hidden, handles inherited, and waits for it to end without a time limit.
// Reports nothing, not even a failure to start.
void run_hidden_and_wait(wchar_t* command_line);

// Starts the command line hidden, handles inherited, in a new process group, without waiting.
// Reports nothing, not even a failure to start.
void run_detached(wchar_t* command_line);
