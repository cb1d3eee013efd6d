#include "link/ModemDialler.h"

#include <cstring>

#include "link/ComPort.h"

namespace {
constexpr uint32_t kDialLimitMs = 30000;

void Status(CPortUi* ui, const char* text) {
    if (ui != nullptr)
        ui->SetStatusText(text);
}

const char* ResultText(int code) {
    switch (code) {
        case kModemNoAnswer:
            return "!? Modem antwortet nicht ?!";
        case kModemSetupFailed:
            return "Modem Einstellungen fehlgeschlagen!";
        case kModemExtension:
            return "Modem Fehler Nebenstelle";
        case kModemBadNumber:
            return "Ungültige Telefonnummer!";
        case kModemNoCarrier:
            return "Gegenstelle antwortet nicht";
        case kModemPortClosed:
            return "!!Puffer nicht gelöscht=>Com geschlossen??";
        default:
            return "Verbindung ist OK..";
    }
}
}  // namespace

bool IsDialableNumber(const std::string& number) {
    for (char c : number) {
        if (c >= '0' && c <= '9')
            continue;
        if (std::strchr(" *#,;!@WPTABCDwptabcd", c) != nullptr && c != '\0')
            continue;
        return false;
    }
    return true;
}

int DialModem(const std::string& telNr, CPortUi* ui) {
    CComPort port;
    const char* lf = "\n";
    // The dial command is built whole, however long the number is.
    const std::string dial = "ATD" + telNr + "\r";
    Status(ui, "Verbindung wird aufgebaut..");
    if (!IsDialableNumber(telNr)) {
        Status(ui, ResultText(kModemBadNumber));
        return kModemBadNumber;
    }
    int code = kModemConnected;
    if (!port.SendExpect("AT\r", 3, "K") || !port.Expect(lf))
        code = kModemNoAnswer;
    if (code == kModemConnected && (!port.SendExpect("ATE0M1\r", 7, "K") || !port.Expect(lf)))
        code = kModemSetupFailed;
    if (code == kModemConnected && (!port.SendExpect("ATX3\r", 5, "K") || !port.Expect(lf)))
        code = kModemExtension;
    if (code == kModemConnected) {
        Status(ui, "wählen läuft..");
        if (!port.SendExpectTimed(dial.data(), dial.size(), "T", kDialLimitMs)) {
            code = kModemNoCarrier;
        } else {
            Status(ui, "CONNECT");
            if (!port.Expect(lf))
                code = kModemNoCarrier;
        }
    }
    if (code == kModemConnected) {
        Status(ui, "Test bitte warten..");
        CComPort::Clock().Sleep(2000);
        Status(ui, ResultText(kModemConnected));
        return kModemConnected;
    }
    if (!port.WaitPurgeAll(1000))
        code = kModemPortClosed;
    Status(ui, ResultText(code));
    return code;
}
