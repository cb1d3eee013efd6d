#include <gtest/gtest.h>

#include <algorithm>

#include "app/AppFixture.h"
#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

// The menu commands against the simulated module, in virtual time.
class CommandsTest : public CAppFixture {
  protected:
    // The frames the module received, from the n-th on.
    std::vector<std::string> FramesFrom(size_t n) const {
        std::vector<std::string> out;
        for (size_t i = n; i < m_module.HostFrames().size(); ++i)
            if (m_module.HostFrames()[i].m_sText != "q,i,0#")
                out.push_back(m_module.HostFrames()[i].m_sText);
        return out;
    }
    static bool StartsWith(const std::string& s, const char* prefix) {
        return s.rfind(prefix, 0) == 0;
    }
};

TEST_F(CommandsTest, FirstRegrabSendsTheParametersThenOnlyTheChannel) {
    m_app.m_iKanal = 3;
    EXPECT_TRUE(m_app.OnCommand(ID_NEU_GRABBEN));
    std::vector<std::string> frames = FramesFrom(0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(StartsWith(frames[0], "P,")) << frames[0];
    EXPECT_EQ(frames[1], "G,03#");
    EXPECT_EQ(m_module.SelectedChannel(), 3);

    const size_t before = m_module.HostFrames().size();
    EXPECT_TRUE(m_app.RegrabImage());
    EXPECT_EQ(FramesFrom(before), std::vector<std::string>{"G,03#"});
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(CommandsTest, RegrabAtAWidthWithoutParametersSaysPFehlerAndSelectsAnyway) {
    m_app.m_iBildbreite = 512;
    EXPECT_TRUE(m_app.RegrabImage());
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{"PFehler"});
    EXPECT_EQ(FramesFrom(0), std::vector<std::string>{"G,01#"});
}

TEST_F(CommandsTest, RegrabOfAMissingChannelReportsFalse) {
    m_module.m_channels = {1, 2};
    m_app.m_bFirstRegrab = false;
    m_app.m_iKanal = 5;
    EXPECT_FALSE(m_app.RegrabImage());
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{"Kanal nicht vorhanden"});
}

TEST_F(CommandsTest, NibbleCommandsFetchInTheirModesAndLeaveModeThree) {
    m_app.m_iModus = 4;
    m_app.OnCommand(ID_NIBBLE1);
    EXPECT_EQ(m_app.m_iModus, 3);
    EXPECT_EQ(FramesFrom(0), std::vector<std::string>{"I,00000,B4,0048,1#"});

    size_t before = m_module.HostFrames().size();
    m_app.OnCommand(ID_NIBBLE2);
    EXPECT_EQ(m_app.m_iModus, 3);
    EXPECT_EQ(FramesFrom(before), std::vector<std::string>{"I,00000,B4,0048,2#"});

    // Nibble 1+2: first Nibble 2, then a plain fetch with the flag set.
    m_app.nibb2 = false;
    before = m_module.HostFrames().size();
    m_app.OnCommand(ID_NIBBLE12);
    EXPECT_EQ(FramesFrom(before),
              (std::vector<std::string>{"I,00000,B4,0048,2#", "I,00000,B4,0090,3#"}));
    EXPECT_TRUE(m_app.nibb2);
    EXPECT_EQ(m_app.m_iModus, 3);
}

TEST_F(CommandsTest, LoopRunsRegrabAndFetchUntilStopped) {
    m_ui.m_nStopAtPump = 3;
    m_app.OnCommand(ID_LOOP_BILD);
    EXPECT_EQ(m_ui.m_nPumps, 3);
    const std::vector<std::string> frames = FramesFrom(0);
    const auto count = [&](const std::string& f) {
        return std::count(frames.begin(), frames.end(), f);
    };
    EXPECT_EQ(count("G,01#"), 3);
    EXPECT_EQ(count("I,00000,B4,0090,3#"), 3);
    EXPECT_TRUE(StartsWith(frames[0], "P,"));
    EXPECT_EQ(frames[1], "G,01#");
    EXPECT_EQ(frames[2], "I,00000,B4,0090,3#");

    // Failed fetches do not end a loop: the module refuses every picture here.
    m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, true});
    m_ui.m_nPumps = 0;
    m_ui.m_nStopAtPump = 2;
    const size_t before = m_module.HostFrames().size();
    m_app.OnCommand(ID_LOOP_NIBBLE2);
    EXPECT_EQ(m_ui.m_nPumps, 2);
    const std::vector<std::string> later = FramesFrom(before);
    EXPECT_EQ(std::count(later.begin(), later.end(), "I,00000,B4,0048,2#"), 2);
    EXPECT_EQ(m_app.m_iModus, 3);
}

TEST_F(CommandsTest, EachNibbleLoopFetchesItsOwnHalves) {
    const auto requests = [this](size_t from) {
        std::vector<std::string> out;
        for (const std::string& f : FramesFrom(from))
            if (StartsWith(f, "I,"))
                out.push_back(f);
        return out;
    };
    m_ui.m_nStopAtPump = 2;
    size_t before = m_module.HostFrames().size();
    m_app.OnCommand(ID_LOOP_NIBBLE2);
    EXPECT_EQ(requests(before),
              (std::vector<std::string>{"I,00000,B4,0048,2#", "I,00000,B4,0048,2#"}));
    m_ui.m_nPumps = 0;
    before = m_module.HostFrames().size();
    m_app.OnCommand(ID_LOOP_NIBBLE12);
    EXPECT_EQ(requests(before),
              (std::vector<std::string>{"I,00000,B4,0048,2#", "I,00000,B4,0090,3#",
                                        "I,00000,B4,0048,2#", "I,00000,B4,0090,3#"}));
}

TEST_F(CommandsTest, HangUpLeavesTheLinkDownWhetherConfirmedOrNot) {
    m_app.m_iLokal = 1;
    m_app.OnCommand(ID_VERBINDUNG);
    EXPECT_EQ(m_ui.m_nTimerStops, 1);
    EXPECT_EQ(m_app.m_iLokal, 0);
    EXPECT_EQ(m_ui.m_status,
              (std::vector<std::string>{"Verbindung wird getrennt..", "Verbindung getrennt!"}));

    m_module.AddFault({ESimFault::Silent, "E", -1, 0, false});
    m_app.m_iLokal = 1;
    m_ui.m_status.clear();
    m_app.OnCommand(ID_VERBINDUNG);
    EXPECT_EQ(m_app.m_iLokal, 0);
    EXPECT_EQ(m_ui.m_status.back(), "!!Auflegen nicht möglich!!");
}

TEST_F(CommandsTest, StatusQueriesShowTheirTextsWithPrefix) {
    m_module.m_status.m_sCamera = "0F";
    m_module.m_status.m_sInput = "A5";
    m_app.OnCommand(ID_KAMERASTATUS);
    m_app.OnCommand(ID_INPUTSTATUS);
    m_app.OnCommand(ID_FEHLERSTATUS);
    m_app.OnCommand(ID_RESET_MODUL);
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Kamerastatus: 0F", "Inputstatus: A5", "Fehlerstatus: 00",
                                        " Vebindung getrennt !"}));

    m_module.AddFault({ESimFault::Silent, "V", -1, 0, false});
    m_module.AddFault({ESimFault::Silent, "R", -1, 0, false});
    m_ui.m_messages.clear();
    m_app.OnCommand(ID_KAMERASTATUS);
    m_app.OnCommand(ID_RESET_MODUL);
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"Kamerastatus: FehlerV ", "FehlerR "}));
}

TEST_F(CommandsTest, SettingsExchangeCopiesInAndEverythingBack) {
    m_app.m_iCom = 1;
    m_app.m_iBaudrate = 57600;
    m_app.m_STimerTime = "15min";
    m_app.m_bTimer = true;
    m_app.m_sTel_nr = "0815";
    m_ui.m_editSettings = [](CEinstellungMembers& m) {
        // As a dialog cancelled with Escape leaves them: the handlers' changes only.
        m.m_sCom = "3";
        m.m_sBaudrate = "";
        m.m_sKanal = "7x";
        m.m_iTimerTime = 600000;
        m.m_iMonochrom = -1;
        m.m_bTimer = 0;
        m.m_bExpert = 5;
    };
    m_app.OnCommand(ID_EINSTELLUNGEN);
    const CEinstellungMembers& in = m_ui.m_settingsIn;
    EXPECT_EQ(in.m_sCom, "1");
    EXPECT_EQ(in.m_sBaudrate, "57600");
    EXPECT_EQ(in.m_sModus, "3");
    EXPECT_EQ(in.m_iTimerTime, 15);
    EXPECT_EQ(in.m_bTimer, 1);
    EXPECT_EQ(in.m_sTel_nr, "0815");
    EXPECT_EQ(in.m_bkompri, 0);
    EXPECT_EQ(m_app.m_iCom, 3);
    EXPECT_EQ(m_app.m_iBaudrate, 0);
    EXPECT_EQ(m_app.m_iKanal, 7);
    EXPECT_EQ(m_app.m_STimerTime, "600000");
    EXPECT_EQ(m_app.m_iMonochrom, 1);
    EXPECT_FALSE(m_app.m_bTimer);
    EXPECT_TRUE(m_app.m_bExpert);
    EXPECT_EQ(m_app.m_sTel_nr, "0815");
}

// ---- a line that goes away and comes back ----

TEST_F(CommandsTest, ALostLineFailsTheCommandAndTheNextCommandPicksItUpAgain) {
    m_app.m_iBaudrate = 38400;
    m_app.sHandshake = 0;
    ASSERT_TRUE(m_app.OnCommand(ID_BILD_HOLEN));
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");

    m_factory.Unplug(1);
    m_app.OnCommand(ID_BILD_HOLEN);
    EXPECT_FALSE(m_app.m_bPortOpen);
    EXPECT_TRUE(m_app.IsLineLost());
    EXPECT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt");

    // Still away: a command that needs the line says so and sends nothing.
    const size_t opens = m_factory.m_opened.size();
    const size_t frames = m_module.HostFrames().size();
    m_ui.m_messages.clear();
    m_app.OnCommand(ID_KAMERASTATUS);
    EXPECT_TRUE(m_ui.m_messages.empty()) << m_ui.m_messages.front();
    EXPECT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt");
    EXPECT_FALSE(m_app.m_bPortOpen);

    // Back: reopened with the stored settings, and nothing goes out but the command's own.
    m_factory.Attach(1, &m_module);
    ASSERT_TRUE(m_app.OnCommand(ID_BILD_HOLEN));
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_FALSE(m_app.IsLineLost());
    EXPECT_EQ(m_factory.m_opened.size(), opens + 1);
    EXPECT_NE(
        std::find(m_ui.m_status.begin(), m_ui.m_status.end(), "Schnittstelle wieder verbunden"),
        m_ui.m_status.end());
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
    EXPECT_EQ(FramesFrom(frames), std::vector<std::string>{"I,00000,B4,0090,3#"});
    const CFakeLine& line = *m_factory.Last();
    EXPECT_EQ(line.Writes().front().m_sBytes, "I,00000,B4,0090,3#");
    EXPECT_EQ(line.m_state.m_nBaudRate, 38400u);
    EXPECT_EQ(line.m_state.m_nRtsControl, CLineState::kRtsDisable);
}

TEST_F(CommandsTest, OnALostLineF1StillTakesTheLinkDownAndTheDialogsThatSendNothingOpen) {
    m_factory.Unplug(1);
    m_app.OnCommand(ID_BILD_HOLEN);
    ASSERT_TRUE(m_app.IsLineLost());
    const uint64_t start = m_clock.NowMs();
    m_app.m_iLokal = 1;
    m_app.OnCommand(ID_VERBINDUNG);
    EXPECT_EQ(m_ui.m_nTimerStops, 1);
    EXPECT_EQ(m_app.m_iLokal, 0);
    EXPECT_EQ(m_ui.m_status.back(), "!!Auflegen nicht möglich!!");
    EXPECT_LT(m_clock.NowMs() - start, CComPort::kReadTimeoutMs);  // nothing was awaited
    m_app.OnCommand(ID_UEBERSICHT);
    m_app.OnCommand(ID_ZEITSTEMPEL);
    EXPECT_EQ(m_ui.m_dialogs, (std::vector<std::string>{"Modulstatus", "Zeitstempel"}));
}

TEST_F(CommandsTest, APortTheUserClosedStaysClosed) {
    m_app.OnCommand(ID_COMPORT);
    ASSERT_FALSE(m_app.m_bPortOpen);
    const size_t opens = m_factory.m_opened.size();
    m_app.OnCommand(ID_BILD_HOLEN);
    EXPECT_EQ(m_factory.m_opened.size(), opens);
    EXPECT_FALSE(m_app.m_bPortOpen);

    // After a loss the toggle opens the port as it always does, once the device is back.
    m_app.OnCommand(ID_COMPORT);
    m_factory.Unplug(1);
    m_app.OnCommand(ID_NEU_GRABBEN);
    ASSERT_TRUE(m_app.IsLineLost());
    m_factory.Attach(1, &m_module);
    m_app.OnCommand(ID_COMPORT);
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_FALSE(m_app.IsLineLost());
    EXPECT_EQ(m_ui.m_status.back(), " Port ist offen ! ");
}

TEST_F(CommandsTest, ALoopGoesOnWithoutTheLineAndPicksItUpWhenItIsBack) {
    // Pump 1 pulls the adapter, the second cycle loses the line, the third finds it still
    // away, pump 3 plugs it back and the fourth cycle fetches again.
    m_ui.m_nStopAtPump = 4;
    m_ui.m_onPump = [this](int pump) {
        if (pump == 1)
            m_factory.Unplug(1);
        if (pump == 3)
            m_factory.Attach(1, &m_module);
    };
    m_app.OnCommand(ID_LOOP_BILD);
    const std::vector<std::string> frames = FramesFrom(0);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "I,00000,B4,0090,3#"), 2);
    EXPECT_EQ(
        std::count(m_ui.m_status.begin(), m_ui.m_status.end(), "Schnittstelle wieder verbunden"),
        1);
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
    EXPECT_TRUE(m_app.m_bPortOpen);
}

// Dialling through the simulated modem.
class CommandsModemTest : public CommandsTest {
  protected:
    CSimPeer* Peer() override { return &m_modem; }
    CModemSim m_modem{m_module};
};

TEST_F(CommandsModemTest, ConnectToggleDialsWhenTheLinkIsDown) {
    m_app.m_iLokal = 0;
    m_app.OnCommand(ID_VERBINDUNG);
    EXPECT_EQ(m_app.m_iLokal, 1);
    EXPECT_EQ(m_ui.m_status.back(), "Verbindung ist OK..");

    m_modem.m_eDialResult = EDialResult::Busy;
    m_app.OnCommand(ID_VERBINDUNG);  // hangs up
    EXPECT_EQ(m_app.m_iLokal, 0);
    m_app.OnCommand(ID_VERBINDUNG);  // dials, the line is busy
    EXPECT_EQ(m_app.m_iLokal, 0);
}

// The order in which the frames of a capture tick reached the module and modem.
std::vector<std::string> TickSteps(const std::vector<std::string>& frames) {
    std::vector<std::string> steps;
    for (const std::string& f : frames) {
        const char* step = f.rfind("P,", 0) == 0   ? "P"
                           : f.rfind("G,", 0) == 0 ? "G"
                           : f.rfind("I,", 0) == 0 ? "I"
                           : f == "E,1#"           ? "E"
                                                   : nullptr;
        if (step != nullptr && (steps.empty() || steps.back() != step))
            steps.push_back(step);
    }
    return steps;
}

TEST_F(CommandsModemTest, CaptureTickDialsFetchesHangsUpAndRearms) {
    m_app.m_bTimer = true;
    m_app.OnCaptureTick();
    EXPECT_EQ(m_ui.m_nTimerStops, 1);
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);
    EXPECT_TRUE(m_app.m_bTimer);
    // Parameters from the tick and from the first re-grab, then channel, picture, hang-up.
    EXPECT_EQ(TickSteps(m_module.Frames()), (std::vector<std::string>{"P", "G", "I", "E"}));
    EXPECT_EQ(m_module.LastPicture().m_nWidth, 180);
    EXPECT_EQ(m_ui.m_status.back(), "Verbindung getrennt !");
    EXPECT_EQ(m_app.m_iLokal, 1);  // the tick leaves it alone
}

TEST_F(CommandsModemTest, CaptureTickTriesTheDialTwice) {
    // The first dial gets no answer; the second one connects.
    m_modem.AddFault({ESimFault::DialNever, "", -1, 0, false});
    const uint64_t start = m_clock.NowMs();
    m_app.OnCaptureTick();
    EXPECT_GE(m_clock.NowMs() - start, 31000u);
    EXPECT_EQ(TickSteps(m_module.Frames()), (std::vector<std::string>{"P", "G", "I", "E"}));
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);

    // Both dials fail: nothing is sent to the module, the timer stays off, m_bTimer on.
    m_modem.m_eDialResult = EDialResult::Busy;
    const size_t before = m_module.Frames().size();
    m_app.m_bTimer = false;
    m_app.OnCaptureTick();
    EXPECT_EQ(m_module.Frames().size(), before);
    EXPECT_TRUE(m_app.m_bTimer);
    EXPECT_EQ(m_ui.m_nTimerStops, 2);
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);
}

TEST_F(CommandsModemTest, CaptureTickStepsTryThreeTimesAndStopAtTheirFirstSuccess) {
    const auto count = [this](const char* prefix) {
        int n = 0;
        for (const std::string& f : m_module.Frames())
            n += StartsWith(f, prefix);
        return n;
    };
    // Everything taken at once: one pass each (and the parameters of the first re-grab).
    m_app.OnCaptureTick();
    EXPECT_EQ(count("P,"), 2);
    EXPECT_EQ(count("I,"), 1);
    EXPECT_EQ(count("E,"), 1);
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);

    // The first parameter frame is refused, the second taken: the tick sends two. Every
    // picture and every hang-up is refused.
    m_module.ClearRecord();
    const size_t written = m_factory.Last()->Writes().size();
    m_module.AddFault({ESimFault::AckDigit, "P", -1, 0, false});
    m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, true});
    m_module.AddFault({ESimFault::AckDigit, "E", -1, 0, true});
    m_app.OnCaptureTick();
    EXPECT_EQ(count("P,"), 2);
    EXPECT_EQ(count("I,"), 3);
    // Hang-ups on the line: after the first, the module's modem may have dropped the call.
    const auto& writes = m_factory.Last()->Writes();
    EXPECT_EQ(std::count_if(writes.begin() + static_cast<long>(written), writes.end(),
                            [](const CFakeLine::CWrite& w) { return w.m_sBytes == "E,1#"; }),
              3);
    EXPECT_EQ(std::count(m_ui.m_status.begin(), m_ui.m_status.end(), "Auflegen nicht möglich !"),
              3);
    // Three failed hang-ups later the timer is set again all the same.
    EXPECT_EQ(m_ui.m_nTimerRearms, 2);
    EXPECT_TRUE(m_app.m_bTimer);
}

TEST_F(CommandsModemTest, CaptureTicksWithoutTheLineKeepTheTimerAndTheNextOneCaptures) {
    // Pulled before the tick: the dial finds out, and the timer is set again instead of
    // stalling as after a dial the modem refused.
    m_factory.Unplug(1);
    m_app.OnCaptureTick();
    EXPECT_TRUE(m_app.m_bTimer);
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);
    EXPECT_FALSE(m_app.m_bPortOpen);
    EXPECT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt");

    // Still away: nothing is tried.
    const size_t opens = m_factory.m_opened.size();
    m_app.OnCaptureTick();
    EXPECT_EQ(m_ui.m_nTimerRearms, 2);
    EXPECT_EQ(m_factory.m_opened.size(), opens);
    EXPECT_TRUE(m_module.Frames().empty());

    m_factory.Attach(1, &m_modem);
    m_app.OnCaptureTick();
    EXPECT_EQ(m_ui.m_nTimerRearms, 3);
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_EQ(TickSteps(m_module.Frames()), (std::vector<std::string>{"P", "G", "I", "E"}));
    EXPECT_EQ(m_ui.m_status.back(), "Verbindung getrennt !");
}

TEST_F(CommandsModemTest, CaptureTickAtAWidthWithoutParametersGoesOn) {
    m_app.m_iBildbreite = 512;
    m_app.m_iBildhoehe = 384;
    m_app.OnCaptureTick();
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"FehlerP", "FehlerP", "FehlerP", "PFehler"}));
    EXPECT_EQ(TickSteps(m_module.Frames()), (std::vector<std::string>{"G", "I", "E"}));
    EXPECT_EQ(m_ui.m_nTimerRearms, 1);
}

}  // namespace
