#pragma once

#include <ostream>

struct CCliOptions;
class CConsoleUi;
class QSettings;

// pixlane-cli ports: lists the system's serial ports and the port numbers, or stores or
// removes the device of one port number in the settings. Port numbers find their stored
// devices in store. Returns the exit status.
int RunPorts(const CCliOptions& options, QSettings& store, std::ostream& out, CConsoleUi& ui);
