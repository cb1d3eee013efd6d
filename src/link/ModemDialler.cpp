#include "link/ModemDialler.h"

#include <cstring>

#include "link/ComPort.h"
#include "link/PrintableText.h"

namespace {
constexpr uint32_t kDialLimitMs = 30000;

void Status(CPortUi* ui, const std::string& text) {
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

std::string DialNumberProblem(const std::string& number) {
    if (number.empty())
        return "Die Nummer ist leer.";
    for (size_t i = 0; i < number.size(); ++i) {
        const auto c = static_cast<unsigned char>(number[i]);
        // Digits, the tone keys, the dial modifiers and what people write between digits.
        // A ";" would end the dial command early and let the rest run as commands.
        if (c < 0x80 && c >= 0x20 &&
            std::strchr("0123456789*#ABCDabcd"
                        "PTRWSLptrwsl,!@="
                        " +-()/",
                        static_cast<char>(c)) != nullptr)
            continue;
        // Name the whole character, even when it takes more than one byte.
        size_t n = 1;
        if (c >= 0xC0)
            while (i + n < number.size() && n < 4 &&
                   (static_cast<unsigned char>(number[i + n]) & 0xC0) == 0x80)
                ++n;
        return "Zeichen \"" + PrintableText(number.substr(i, n)) + "\" ist nicht erlaubt.";
    }
    return {};
}

bool IsDialableNumber(const std::string& number) {
    return DialNumberProblem(number).empty();
}

std::string ModemResultText(const std::string& word) {
    return "Modem meldet " + word;
}

CDialResult DialNumber(CLineSession& line, const std::string& telNr, CPortUi* ui, EModemPace pace) {
    CComPort port(line);
    CDialResult result;
    const char* lf = "\n";
    // The dial command is built whole, however long the number is.
    const std::string dial = "ATD" + telNr + "\r";
    Status(ui, "Verbindung wird aufgebaut..");
    if (const std::string problem = DialNumberProblem(telNr); !problem.empty()) {
        Status(ui, std::string(ResultText(kModemBadNumber)) + " " + problem);
        result.m_nCode = kModemBadNumber;
        return result;
    }
    std::string& word = result.m_sModem;
    int code = kModemConnected;
    if (!port.SendExpect("AT\r", 3, "K", &word, pace) || !port.Expect(lf, &word, pace))
        code = kModemNoAnswer;
    if (code == kModemConnected &&
        (!port.SendExpect("ATE0M1\r", 7, "K", &word, pace) || !port.Expect(lf, &word, pace)))
        code = kModemSetupFailed;
    if (code == kModemConnected &&
        (!port.SendExpect("ATX3\r", 5, "K", &word, pace) || !port.Expect(lf, &word, pace)))
        code = kModemExtension;
    if (code == kModemConnected) {
        Status(ui, "wählen läuft..");
        result.m_bDialSent = true;
        result.m_nDialSentTick = line.Clock().GetTickCount();
        if (!port.SendExpectTimed(dial.data(), dial.size(), "T", kDialLimitMs, &word, pace)) {
            code = kModemNoCarrier;
        } else {
            Status(ui, "CONNECT");
            if (!port.Expect(lf, &word, pace))
                code = kModemNoCarrier;
        }
    }
    if (code == kModemConnected) {
        Status(ui, "Test bitte warten..");
        line.Clock().Sleep(2000);
        Status(ui, ResultText(kModemConnected));
        return result;
    }
    if (!port.WaitPurgeAll(1000))
        code = kModemPortClosed;
    Status(ui, ResultText(code));
    result.m_nCode = code;
    return result;
}

int DialModem(CLineSession& line, const std::string& telNr, CPortUi* ui, std::string* modemResult) {
    CDialResult result = DialNumber(line, telNr, ui);
    if (modemResult != nullptr)
        modemResult->swap(result.m_sModem);
    return result.m_nCode;
}
