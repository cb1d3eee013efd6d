#pragma once

#include <ostream>

struct CCliOptions;
class CConsoleUi;

// pixlane-cli sites: lists the book (a table, or JSON), or adds, changes or removes one
// site in the user's book or the system's; what is wrong in the book is said on ui.
// Returns the exit status.
int RunSites(const CCliOptions& options, std::ostream& out, CConsoleUi& ui);
