// pixlane-cli: the module commands and the image fetch on the command line.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>

#include "cli/CliMain.h"

namespace {
bool ErrorsGoToTerminal() {
#ifdef _WIN32
    return ::_isatty(2) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}
}  // namespace

int main(int argc, char** argv) {
    return RunCli(argc, argv, std::cout, std::cerr, ErrorsGoToTerminal());
}
