#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "capture/FetchRequest.h"

struct CCliOptions;
struct CSite;
class CPixlaneApp;
class CConsoleUi;

// What capture does in one round: the line and picture settings of a site (or of the
// settings and options alone) and what the round asks for.
struct CCaptureTarget {
    const CSite* m_pSite = nullptr;  // null: no site
    // Sets the application up for the target's round.
    std::function<void()> m_fnSetUp;
    CFetchRequest m_request;
};

// pixlane-cli capture: capture rounds on the configured line until the count is reached or
// SIGINT or SIGTERM asks to stop, each round one after the other for every target; the path
// of each saved picture goes to out, what a --exec program prints to err. The exit status:
// 0 when every picture of the last round of every target was kept, 1 when one was not.
int RunCapture(const CCliOptions& options, const std::vector<CCaptureTarget>& targets,
               CPixlaneApp& app, CConsoleUi& ui, std::ostream& out, std::ostream& err);
