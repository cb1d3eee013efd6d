#pragma once

#include <QDateTime>
#include <functional>
#include <ostream>
#include <vector>

#include "fleet/Target.h"

struct CCliOptions;
class CPixlaneApp;
class CConsoleUi;

// pixlane-cli capture: capture rounds until the count is reached or SIGINT or SIGTERM asks
// to stop, each round one after the other for every target (a site of the book, or the
// settings and options alone), each on its own line; the path of each saved picture goes
// to out, what a --exec program prints to err. The exit status: 0 when every picture of
// the last round of every target was kept, 1 when one was not. A target whose capture
// window is closed at a round's time is not dialled in that round, which is said and
// counts as kept: a run outside every window ends with 0. now is the wall clock (the
// system's when empty).
int RunCapture(const CCliOptions& options, const std::vector<CTarget>& targets, CPixlaneApp& app,
               CConsoleUi& ui, std::ostream& out, std::ostream& err,
               const std::function<QDateTime()>& now = {});

// The exit status of one round of a pool, beyond 0 and 1 as above: the line failed at its
// set-up (could not be opened, or its modem answered NO DIALTONE, ERROR or nothing), which
// the round's journal says; or another program holds the line, and nothing was sent.
inline constexpr int kPoolLineFailed = 3;
inline constexpr int kPoolLineHeld = 4;

// One round of the target on its line, for a pool: a line another program holds is not
// waited for, and a line that fails at its set-up is said on err and in the journal. With
// --pool-hangup, instead of the round: the call that a round which died left open is ended
// (0 when it was, or when the modem was hung up by DTR).
int RunPoolRound(const CCliOptions& options, const CTarget& target, CPixlaneApp& app,
                 CConsoleUi& ui, std::ostream& out, std::ostream& err);
