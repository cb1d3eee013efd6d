#pragma once

#include <array>
#include <string>

class QSettings;

// The stored device of port n ("Ports/COMn") as the user wrote it; empty when none.
std::string StoredPortDevice(QSettings& store, int port);
// Those of every port number 1..9, by number.
std::array<std::string, 10> StoredPortDevices(QSettings& store);

// Stores the device as "Ports/COMn", or removes that value when the device is empty, and
// changes nothing else: in a settings file every other byte stays as it was (comments,
// spacing, quoting and order included), and the file is replaced only whole. False, with
// the reason in German in *error, when the value could not be stored; the store is then
// as it was.
bool StorePortDevice(QSettings& store, int port, const std::string& device, std::string* error);
