#pragma once

#include <ostream>

struct CCliOptions;
struct CFetchRequest;
class CPixlaneApp;
class CConsoleUi;

// pixlane-cli capture: capture rounds of the request on the configured line until the count is
// reached or SIGINT or SIGTERM asks to stop; the path of each saved picture goes to out, what a
// --exec program prints to err. The exit status: 0 when every picture of the last round
// was kept, 1 when one was not.
int RunCapture(const CCliOptions& options, const CFetchRequest& request, CPixlaneApp& app,
               CConsoleUi& ui, std::ostream& out, std::ostream& err);
