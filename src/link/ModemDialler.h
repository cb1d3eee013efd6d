#pragma once

#include <cstdint>
#include <string>

#include "link/ComPort.h"
#include "link/PortUi.h"

// Result codes of the dial sequence.
enum ModemResult : int {
    kModemConnected = 0,
    // A step fails when its answer does not come, or when the modem names a failure
    // instead: "ERROR" fails any step; the results of a call ("BUSY", "NO CARRIER",
    // "NO DIALTONE", "NO DIAL TONE", "NO ANSWER", "BLACKLISTED", "DELAYED") fail the dial
    // alone. Only a line reading "OK" or "CONNECT" is the answer awaited.
    kModemNoAnswer = 1,     // no "K" after "AT\r"
    kModemSetupFailed = 2,  // no "K" after "ATE0M1\r"
    kModemExtension = 3,    // no "K" after "ATX3\r"
    kModemBadNumber = 4,    // the number is empty or holds a character a dial string forbids
    kModemNoCarrier = 5,    // no "T" within 30 s of dialling, or a failure result to the dial
    kModemPortClosed = 7,   // purging after a failure failed: the port is not open
};

// What makes the number unfit for a Hayes dial string, in German: it is empty, or it holds
// a character that may not stand there (the first one is named). Empty when it can be
// dialled.
std::string DialNumberProblem(const std::string& number);
// True when the number is not empty and every character may stand in a dial string.
bool IsDialableNumber(const std::string& number);

// What a dial gave: the step that failed, and the modem's own word for it when it said one.
struct CDialResult {
    int m_nCode = kModemConnected;  // ModemResult
    // "BUSY", "NO CARRIER" ...; for a dial that ran out of time, the last line the modem
    // sent ("RING"); empty when the modem said none.
    std::string m_sModem;
    // Whether the dial command went out, and the clock's tick count when it did: from
    // there on the modem may be off-hook.
    bool m_bDialSent = false;
    uint32_t m_nDialSentTick = 0;
    bool Connected() const { return m_nCode == kModemConnected; }
};

// Initialises the modem on the session's open line, dials the number and waits for the carrier.
// Reports progress and the failing step as status texts. The pace is that of every wait
// for the modem's answers; the pause after CONNECT is the same at either.
CDialResult DialNumber(CLineSession& line, const std::string& telNr, CPortUi* ui,
                       EModemPace pace = EModemPace::kPolled);
// The same as a ModemResult; when given, modemResult gets the modem's word, or empty.
int DialModem(CLineSession& line, const std::string& telNr, CPortUi* ui,
              std::string* modemResult = nullptr);

// The text that names the modem's own result word ("Modem meldet BUSY").
std::string ModemResultText(const std::string& word);
