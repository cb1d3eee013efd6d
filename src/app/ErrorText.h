#pragma once

#include <string>

// The German text of a system error number (errno), for every reason a user reads: the
// file writer's, the folder code's and the journal's. Numbers without a text of their own
// give "Systemfehler N".
std::string SystemErrorText(int code);

#ifdef _WIN32
// The error number closest to a Windows error code (GetLastError), so that the same texts
// serve both platforms.
int ErrnoOfWindowsError(unsigned long code);
#endif
