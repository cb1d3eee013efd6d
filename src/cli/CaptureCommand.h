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
