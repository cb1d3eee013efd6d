#pragma once

#include <ostream>

// pixlane-cli as a function: parses the arguments (argv[0] is the program name), runs
// the command on the configured serial line and returns the exit status (0 success,
// 1 the module, the modem or the port failed, 2 a usage error). Results go to out;
// status texts, message texts and errors to err, with a progress line during a fetch
// when errIsTerminal. The port's clock and line factory are used as they are set.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool errIsTerminal);
