// The install scope: 1 machine scope (the process holds administrator rights), 0 user scope.
#pragma once

// 1 when the thread's (or else the process's) token has the built-in Administrators group enabled, else 0.
int is_user_admin();
