// pixlane-cli: the module commands and the image fetch on the command line.
#include <unistd.h>

#include <iostream>

#include "cli/CliMain.h"

int main(int argc, char** argv) {
    return RunCli(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
