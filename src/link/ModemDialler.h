#pragma once

#include <string>

#include "link/PortUi.h"

// Result codes of the dial sequence.
enum ModemResult : int {
    kModemConnected = 0,
    kModemNoAnswer = 1,     // no "K" after "AT\r"
    kModemSetupFailed = 2,  // no "K" after "ATE0M1\r"
    kModemExtension = 3,    // no "K" after "ATX3\r"
    kModemBadNumber = 4,    // the telephone number holds a character a dial string forbids
    kModemNoCarrier = 5,    // no "T" within 30 s of dialling
    kModemPortClosed = 7,   // purging after a failure failed: the port is not open
};

// True when every character of the number may stand in a Hayes dial string.
bool IsDialableNumber(const std::string& number);

// Initialises the modem on the open port, dials the number and waits for the carrier.
// Reports progress and the failing step as status texts; returns a ModemResult.
int DialModem(const std::string& telNr, CPortUi* ui);
