#pragma once

#include <string>

class QSettings;
class CLineAddress;

// The stored device of port n ("Ports/COMn") as the user wrote it; empty when none.
std::string StoredPortDevice(QSettings& store, int port);

// "ComPort COMn (device) kann nicht geöffnet werden !" for a port number that failed to
// open; the device only for the numbers 1..9, which stand for one. A device named in
// place of a number is named alone: "Gerät DEVICE kann nicht geöffnet werden !". Where the
// line said why (problem, as CLineSession::OpenProblem gives it), that stands in place of
// "kann nicht geöffnet werden !": "Verbindung zu 10.1.2.3:4001 abgelehnt", after
// "ComPort COMn (device): " for a port number.
std::string PortOpenFailedText(const CLineAddress& address, const std::string& problem = {});

// Stores the device as "Ports/COMn", or removes that value when the device is empty, and
// changes nothing else: in a settings file every other byte stays as it was (comments,
// spacing, quoting and order included), and the file is replaced only whole. False, with
// the reason in German in *error, when the value could not be stored; the store is then
// as it was.
bool StorePortDevice(QSettings& store, int port, const std::string& device, std::string* error);
