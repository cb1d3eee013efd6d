// pixlane-cli: the module commands and the image fetch on the command line.
#include <iostream>

#include "cli/CliMain.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    return RunCli(argc, argv, std::cout, std::cerr, ErrorOutputIsTerminal());
}
