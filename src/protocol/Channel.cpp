#include <cstring>
#include <string>

#include "link/ComPort.h"
#include "link/Trace.h"

namespace {
constexpr uint32_t kFailWaitMs = 1000;
constexpr size_t kFrameLen = 5;  // "G,0n#"
}  // namespace

bool CComPort::SelectChannel(const std::string& channel) {
    return SelectChannelResult(channel) == kChannelSelected;
}

ChannelResult CComPort::SelectChannelResult(const std::string& channel) {
    const char* const expectReply = "q,G,";
    const char* const expectStatus = "0#";
    char reply[5] = {};
    char status[3] = {};
    std::string frame = "G,0" + channel + "#";
    // Exactly five bytes go out; a frame that came out shorter is padded with NULs
    // rather than read past its end.
    if (frame.size() < kFrameLen)
        frame.resize(kFrameLen, '\0');

    PixTrace("Modemreturn_0 = %s", reply);
    PixTrace("Modem_0 = %s", status);
    PixTrace("Kanalini_0 = %s", frame.c_str());
    PixTrace("buf1_0 = %s", expectReply);
    PixTrace("buf2_0 = %s", expectStatus);

    if (!Write(frame.data(), kFrameLen)) {
        PixTrace("Kanalini_Fehler = %s", frame.c_str());
        Wait(kFailWaitMs);
        PurgeTx();
        return kChannelNoAnswer;
    }
    PixTrace("Kanalini2 = %s", frame.c_str());

    auto fail = [&]() {
        PixTrace("buf1 = %s", expectReply);
        PixTrace("buf2 = %s", expectStatus);
        Wait(kFailWaitMs);
        PurgeRx();
        return kChannelNoAnswer;
    };

    if (!Read(reply, 4)) {
        PixTrace("Modemreturn Fehler = %c", reply[0]);
        PixTrace("? = %c", status[0]);
        PixTrace("buf1_Fehler = %s", expectReply);
        PixTrace("buf2_Fehler = %s", expectStatus);
        return fail();
    }
    PixTrace("Modemreturn2 = %s", reply);
    if (std::strcmp(reply, expectReply) != 0)
        return fail();

    // The module may take longer than one read time-out to decide: one repeat read.
    bool firstRead = Read(status, 2);
    if (firstRead) {
        PixTrace("Modem2 = %s", status);
    } else if (!Read(status, 2)) {
        return fail();
    }

    const int cmp = std::strcmp(status, expectStatus);
    if (cmp == 0) {
        PixTrace("ptr2_modemreturm = %d", cmp);
        return kChannelSelected;
    }
    fail();
    // Only an answer that came in time is the module's refusal; a late one may be the
    // rest of something else.
    if (!firstRead)
        return kChannelNoAnswer;
    ShowMessage("Kanal nicht vorhanden");
    return kChannelRefused;
}
