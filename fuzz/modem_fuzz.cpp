// The modem dialler fed with any answers: the leading bytes choose the telephone number
// and whether a fetch through the modem or a whole tick of the periodic capture follows;
// the rest is what the modem (and, once it connected, the module) sends.
#include <cstdint>
#include <string>
#include <utility>

#include "app/PixlaneApp.h"
#include "fuzz/FuzzSupport.h"
#include "link/ComPort.h"
#include "link/ModemDialler.h"

namespace {

// Every result of the dial and the status text it ends with.
const std::pair<int, const char*> kResults[] = {
    {kModemConnected, "Verbindung ist OK.."},
    {kModemNoAnswer, "!? Modem antwortet nicht ?!"},
    {kModemSetupFailed, "Modem Einstellungen fehlgeschlagen!"},
    {kModemExtension, "Modem Fehler Nebenstelle"},
    {kModemBadNumber, "Ungültige Telefonnummer!"},
    {kModemNoCarrier, "Gegenstelle antwortet nicht"},
    {kModemPortClosed, "!!Puffer nicht gelöscht=>Com geschlossen??"},
};

const char* ExpectedText(int code) {
    for (const auto& [result, text] : kResults)
        if (result == code)
            return text;
    return nullptr;
}

// The longest a dial may take on any line: seven waits of 250 tries of a 250 ms pause and
// a 3 s read, the 30 s dial limit overrun by one try, the 2 s test pause, the 1 s purge.
constexpr uint64_t kLongestDialMs = 7 * 250 * 3250 + 30000 + 3250 + 2000 + 1000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzBytes in(data, size);
    const uint8_t flags = in.Byte();
    const std::string number = in.Text(15);
    CFuzzUi ui;
    CPixlaneApp app;
    CFuzzRig rig(app.Line(), in.Rest(), in.RestSize());
    app.SetUi(&ui);
    app.BuildYuvTables();
    app.m_sTel_nr = number;
    CFakeLine* line = nullptr;
    if ((flags & 1) == 0) {
        FUZZ_CHECK(app.OpenConfiguredPort());
        line = rig.Opened();
    }
    const uint64_t startMs = rig.NowMs();

    if (flags & 4) {
        // A tick of the periodic capture: dial (twice at most), parameters, channel, fetch
        // and hang-up, each with its retries, whatever the far end answers.
        app.m_bTimer = true;
        app.OnCaptureTick();
        FUZZ_CHECK(app.m_bTimer);
        return 0;
    }
    if (flags & 2) {
        // A fetch through the modem: it dials first and fetches only when it connected (or
        // when no modem answered at all and the module may hang on the cable).
        app.m_iLokal = 0;
        const bool whole = app.GetImage();
        FUZZ_CHECK(!whole || ui.m_sLastStatus == "Fertig !");
        return 0;
    }

    const int code = app.ConnectModem();
    const char* text = ExpectedText(code);
    FUZZ_CHECK(text != nullptr);
    // A refused number is named after the text: "Ungültige Telefonnummer! ..."
    FUZZ_CHECK(code == kModemBadNumber ? ui.m_sLastStatus.rfind(text, 0) == 0
                                       : ui.m_sLastStatus == text);
    FUZZ_CHECK(rig.NowMs() - startMs <= kLongestDialMs);
    if (line == nullptr) {
        FUZZ_CHECK(code == kModemPortClosed || code == kModemBadNumber);
        return 0;
    }
    if (code == kModemBadNumber) {
        FUZZ_CHECK(!IsDialableNumber(number) && line->Writes().empty());
        return 0;
    }
    FUZZ_CHECK(code != kModemPortClosed);
    if (code == kModemConnected || code == kModemNoCarrier) {
        // Dialled: the command went out whole, in one write, however long the number.
        bool dialled = false;
        for (const CFakeLine::CWrite& w : line->Writes())
            dialled = dialled || w.m_sBytes == "ATD" + number + "\r";
        FUZZ_CHECK(dialled);
    }
    return 0;
}
