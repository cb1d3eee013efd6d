#pragma once

#include <string>

// The German text of a system error number (errno), for every reason a user reads: the
// file writer's, the folder code's and the journal's. Numbers without a text of their own
// give "Systemfehler N".
std::string SystemErrorText(int code);
