#pragma once

#include <ctime>
#include <string>
#include <vector>

// What the system itself says about time, the terminal and where settings live, one
// implementation per system.

// The broken-down local time of the moment.
std::tm LocalTime(std::time_t t);

// Whether the program's standard error goes to a terminal.
bool ErrorOutputIsTerminal();

// Whether the settings store keeps its values in the registry rather than in text files.
bool SettingsInRegistry();

// Where the settings store keeps an INI file of this organisation and name (".ini") for the
// user, and for every user: each folder of the system's settings in its order (the first
// is where the store writes). Found without opening anything.
std::string UserIniFile(const std::string& organisation, const std::string& name);
std::vector<std::string> SystemIniFiles(const std::string& organisation, const std::string& name);

// The files the settings store reads for the application's own settings, in the order it
// looks in them: the user's application file and organisation file, then those of each
// folder of the system's. None where the settings live in the registry.
std::vector<std::string> NativeSettingsFiles(const std::string& organisation,
                                             const std::string& application);
