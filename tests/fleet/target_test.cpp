// The one target of the stored settings, a site of the book and the command line's options:
// one table, a row for each case, and what wins.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fleet/SiteBook.h"
#include "fleet/Target.h"

namespace {

// A target in one line: the line (device, rate, RTS mode, dialled or not and why, the
// number), the channels, the picture and where it goes.
std::string Summary(const CTarget& t) {
    std::string channels;
    for (int c : t.m_channels)
        channels += (channels.empty() ? "" : ",") + std::to_string(c);
    const CFetchRequest& r = t.m_request;
    const CTargetStorage& s = t.m_storage;
    return t.m_line.m_address.DeviceName() + " " + std::to_string(t.m_line.m_iBaudrate) + " rts" +
           std::to_string(t.m_line.m_nRtsControl) + " " + (t.m_line.m_bModem ? "modem" : "cable") +
           (t.m_bLinkStored ? "(stored) " : " ") + t.m_line.m_sNumber + " | ch " + channels +
           " | " + std::to_string(r.m_nWidth) + "x" + std::to_string(r.m_nHeight) + " m" +
           std::to_string(r.m_iMode) + (r.m_bColour ? " colour" : " grey") + " | " + s.m_sFolder +
           " " + s.m_sPattern + (s.m_bInsideFolder ? "(inside) " : " ") + s.m_sJournal +
           " latest=" + s.m_sLatest + " keep=" + std::to_string(s.m_nKeepSeconds) + " | " +
           t.m_sSite;
}

CStoredSettings Stored() {
    CStoredSettings s;
    s.m_iCom = 2;
    s.m_iBaudrate = 57600;
    s.sHandshake = 2;
    s.m_iLokal = 0;
    s.m_iKanal = 5;
    s.m_sTel_nr = "0999";
    s.m_portDevices[2] = "/dev/ttyUSB2";
    s.m_portDevices[3] = "/dev/ttyUSB3";
    s.m_storage.m_sFolder = "/var/bilder";
    s.m_storage.m_sPattern = "k{channel}.bmp";
    s.m_storage.m_bInsideFolder = true;
    s.m_storage.m_sJournal = "/var/bilder/pixlane-journal.jsonl";
    s.m_storage.m_nKeepSeconds = 3600;
    return s;
}

// A site that names a device and a number, its channels, width and pattern.
CSite Nord() {
    CSite s;
    s.m_sName = "nord";
    s.m_sDevice = "/dev/modul-nord";
    s.m_iBaudrate = 115200;
    s.m_sNumber = "0815";
    s.m_channels = {1, 3};
    s.m_picture.m_nWidth = 360;
    s.m_sPattern = "%Y/n{channel}.png";
    return s;
}

// A site on a cable at port number 3, in a folder of its own.
CSite Halle() {
    CSite s;
    s.m_sName = "halle";
    s.m_iCom = 3;
    s.m_eLink = ESiteLink::kCable;
    s.m_sFolder = "/srv/halle";
    s.m_picture.m_bColour = true;
    return s;
}

struct CRow {
    const char* m_pCase;
    std::optional<CSite> m_site;
    CTargetOptions m_options;
    const char* m_pTarget;
};

TEST(TargetResolution, OptionsOverSiteOverStoredSettings) {
    CTargetOptions com4;
    com4.m_iCom = 4;
    com4.m_iBaudrate = 9600;
    com4.m_bHandshake = false;
    com4.m_sNumber = "0111";
    com4.m_bModem = false;
    com4.m_channels = {8};
    com4.m_picture.m_nWidth = 180;
    com4.m_sFolder = "/tmp/alle";
    com4.m_sLatest = "/tmp/aktuell.bmp";
    com4.m_nKeepSeconds = 60;
    CTargetOptions device;
    device.m_sDevice = "/dev/ttyACM0";
    device.m_bModem = true;
    device.m_sPattern = "x{seq}.bmp";
    device.m_sJournal = "/tmp/j.jsonl";
    CTargetOptions demo;
    demo.m_sDemoDevice = "/dev/pts/9";
    CTargetOptions demoModem = demo;
    demoModem.m_bDemoModem = true;
    demoModem.m_bModem = false;
    CStoredSettings noPort = Stored();
    noPort.m_iCom = 0;

    const std::vector<CRow> rows = {
        {"the stored settings alone",
         std::nullopt,
         {},
         "/dev/ttyUSB2 57600 rts2 modem(stored) 0999 | ch 5 | 180x144 m3 grey | /var/bilder "
         "k{channel}.bmp(inside) /var/bilder/pixlane-journal.jsonl latest= keep=3600 | "},
        {"a site with a device: its line, number (so the modem), channels, width, pattern "
         "and folder",
         Nord(),
         {},
         "/dev/modul-nord 115200 rts2 modem 0815 | ch 1,3 | 360x288 m3 grey | nord "
         "%Y/n{channel}.png nord/journal.jsonl latest= keep=3600 | nord"},
        {"a site at a port number on a cable: that number's stored device",
         Halle(),
         {},
         "/dev/ttyUSB3 57600 rts2 cable 0999 | ch 5 | 180x144 m4 colour | /srv/halle "
         "k{channel}.bmp(inside) /srv/halle/journal.jsonl latest= keep=3600 | halle"},
        {"options over the site: number, rate, handshake, link, channels, width, folder "
         "(with the site's journal in it), latest copy and keep",
         Nord(), com4,
         "/dev/ttyS3 9600 rts0 cable 0111 | ch 8 | 180x144 m3 grey | /tmp/alle %Y/n{channel}.png "
         "/tmp/alle/journal.jsonl latest=/tmp/aktuell.bmp keep=60 | nord"},
        {"a device named on the command line over the site's port number; pattern and journal",
         Halle(), device,
         "/dev/ttyACM0 57600 rts2 modem 0999 | ch 5 | 180x144 m4 colour | /srv/halle x{seq}.bmp "
         "/tmp/j.jsonl latest= keep=3600 | halle"},
        {"the demo module behind the site's port number, on its cable whatever the site says",
         Nord(), demo,
         "/dev/pts/9 115200 rts2 cable 0815 | ch 1,3 | 360x288 m3 grey | nord %Y/n{channel}.png "
         "nord/journal.jsonl latest= keep=3600 | nord"},
        {"the demo module's modem is dialled, even with --local", Halle(), demoModem,
         "/dev/pts/9 57600 rts2 modem 0999 | ch 5 | 180x144 m4 colour | /srv/halle "
         "k{channel}.bmp(inside) /srv/halle/journal.jsonl latest= keep=3600 | halle"},
    };
    for (const CRow& row : rows) {
        const CSite* site = row.m_site ? &*row.m_site : nullptr;
        EXPECT_EQ(Summary(ResolveTarget(Stored(), site, row.m_options)), row.m_pTarget)
            << row.m_pCase;
    }
    // A stored number outside 1..9 is no line, unless the demo module stands behind it.
    EXPECT_FALSE(ResolveTarget(noPort, nullptr, {}).m_line.m_address.CanOpen());
    const CLineAddress demoLine = ResolveTarget(noPort, nullptr, demo).m_line.m_address;
    EXPECT_EQ(demoLine.PortNumber(), 1);
    EXPECT_EQ(demoLine.DeviceName(), "/dev/pts/9");
}

}  // namespace
