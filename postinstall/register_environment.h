// The suite's environment variables, written by postinstall after the main shortcut.
#pragma once

class StepLog;

// Writes TALVO_ROOT182 (the install root), P_SCHEMA, VOSKEL_LIBDIR182 (the language directory) and
// VELMORA_SYSDIR32 ("win32"), in that order, as REG_SZ in the scope is_user_admin gives once. Each
// write is attempted whatever became of the others, and each is logged. Always 0.
int register_environment(const wchar_t* install_root, StepLog& log);
