#pragma once

#include <QDateTime>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/Target.h"

struct CCliOptions;
class CConsoleUi;

// The span a day or --from/--to names, local time, [from, to); false (with the reason,
// German) when they name none.
bool FilmSpan(const CCliOptions& options, const QDateTime& now, QDateTime& from, QDateTime& to,
              std::string& error);

// timelapse: the films the options ask for, of each target (a site of the book) or of the
// journal named; the films' paths go to out. The exit status.
int RunTimelapse(const CCliOptions& options, const std::vector<CTarget>& targets, CConsoleUi& ui,
                 std::ostream& out, bool terminal);

// retention: what the options' rules remove of each target's pictures, or (--dry-run)
// would; a line for each on out. The exit status.
int RunRetention(const CCliOptions& options, const std::vector<CTarget>& targets, CConsoleUi& ui,
                 std::ostream& out);
