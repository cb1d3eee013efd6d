// The module commands fed with any answers: the leading bytes choose a few commands in a
// row (the status queries, the time stamp, reset, the end of the connection, the channel
// selection and the picture parameters); the rest is what the module sends. Bytes one
// answer leaves behind reach the next command, as on a real line.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "link/ComPort.h"

namespace {

// A command's answer may take one read time-out per piece and a 1 s wait after a failure;
// none takes longer than this on any line.
constexpr uint64_t kLongestCommandMs = 7 * CComPort::kReadTimeoutMs + 1000 + 2;

bool IsOneOf(const std::string& s, std::initializer_list<const char*> texts) {
    for (const char* t : texts)
        if (s == t)
            return true;
    return false;
}

// The query result: the error text, or a value of the query's fixed width.
void CheckQuery(const std::string& result, const char* error, size_t width) {
    FUZZ_CHECK(result == error || result.size() == width);
}

// One command of the row: its choice byte, and the channel text of a selection.
struct CCommand {
    uint8_t m_nWhich = 0;
    std::string m_sChannel;
};

CCommand ChooseCommand(CFuzzBytes& in) {
    CCommand c;
    c.m_nWhich = in.Byte();
    if (c.m_nWhich % 12 == 8)
        c.m_sChannel = in.Text(3);  // any channel text
    else if (c.m_nWhich % 12 == 9)
        c.m_sChannel = std::to_string(c.m_nWhich % 9);  // the digits the program sends
    return c;
}

void RunCommand(const CCommand& command, CComPort& port, CFuzzUi& ui, CFakeLine* line) {
    const uint8_t which = command.m_nWhich;
    const size_t writes = line != nullptr ? line->Writes().size() : 0;
    std::string frame;  // what must have gone out, when the line is there
    switch (which % 12) {
        case 0:
            CheckQuery(port.GetCameraStatus(), "FehlerV ", 2);
            frame = "V#";
            break;
        case 1: {
            const std::string v = port.GetSoftwareVersion();
            FUZZ_CHECK(v == "FehlerS " || (v.size() == 5 && v[0] == ' ' && v[2] == '.'));
            frame = "S#";
            break;
        }
        case 2:
            CheckQuery(port.GetErrorStatus(), "FehlerF ", 2);
            frame = "F#";
            break;
        case 3:
            CheckQuery(port.GetInputStatus(), "FehlerC ", 2);
            frame = "C#";
            break;
        case 4:
        case 5: {
            const std::string mode = which % 12 == 4 ? "0" : "1";
            const std::string t = port.GetTimeStamp(mode);
            // channel and seconds, or the channel alone when the seconds did not arrive
            FUZZ_CHECK(t == "FehlerT " || t.size() == 7 || t.size() == 2);
            frame = "T," + mode + "#";
            break;
        }
        case 6:
            FUZZ_CHECK(IsOneOf(port.ResetModule(), {" Vebindung getrennt !", "FehlerR "}));
            frame = "R,1#";
            break;
        case 7: {
            const int end = port.EndConnection();
            FUZZ_CHECK(end == 0 || end == 1);
            frame = "E,1#";
            break;
        }
        case 8:
        case 9: {
            const std::string& channel = command.m_sChannel;
            ui.m_sLastMessage.clear();
            const bool ok = port.SelectChannel(channel);
            FUZZ_CHECK(!ok || ui.m_sLastMessage.empty());
            frame = ("G,0" + channel + "#").substr(0, 5);
            frame.resize(5, '\0');
            break;
        }
        case 10:
            port.SetParametersForWidth(180);
            frame = "P,008,000,0b4,120,0c0,120,1,0#";
            break;
        default: {
            const int width = which & 0x80 ? 360 : 250;
            port.SetParametersForWidth(width);
            if (width == 360)
                frame = "P,008,000,168,240,180,240,1,0#";
            break;
        }
    }
    if (line == nullptr)
        return;
    if (frame.empty()) {
        FUZZ_CHECK(line->Writes().size() == writes);  // no parameter set: nothing sent
        return;
    }
    FUZZ_CHECK(line->Writes().size() == writes + 1 && line->Writes()[writes].m_sBytes == frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzBytes in(data, size);
    const uint8_t head = in.Byte();
    std::vector<CCommand> commands(1 + (head & 3));
    for (CCommand& c : commands)
        c = ChooseCommand(in);

    CLineSession session;
    CFuzzRig rig(session, in.Rest(), in.RestSize());
    CFuzzUi ui;
    session.SetUi(&ui);
    CFakeLine* line = (head & 4) ? nullptr : rig.Open();
    FUZZ_CHECK((head & 4) || line != nullptr);
    CComPort port(session);
    for (const CCommand& c : commands) {
        const uint64_t startMs = rig.NowMs();
        RunCommand(c, port, ui, line);
        FUZZ_CHECK(rig.NowMs() - startMs <= kLongestCommandMs);
    }
    return 0;
}
