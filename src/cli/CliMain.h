#pragma once

#include <QDateTime>
#include <functional>
#include <ostream>

class CClock;
class CLineFactory;

// Where pixlane-cli's line waits and where it is opened: the system clock and the serial
// back end unless given.
struct CCliLine {
    CClock* m_pClock = nullptr;
    CLineFactory* m_pFactory = nullptr;
    // The wall clock of capture (its window, names and journal lines); the system's unless
    // set.
    std::function<QDateTime()> m_fnNow;
};

// pixlane-cli as a function: parses the arguments (argv[0] is the program name), runs
// the command on the configured serial line and returns the exit status (0 success,
// 1 the module, the modem or the port failed, 2 a usage error). Results go to out;
// status texts, message texts and errors to err, with a progress line during a fetch
// when errIsTerminal. The line runs on what line gives.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool errIsTerminal,
           const CCliLine& line = {});
