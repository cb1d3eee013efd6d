// One whole tick of the capture timer in the main window, against the simulated module
// behind its simulated modem, in virtual time: everything the tick shows, every wait and
// every frame it puts on the line, in order and with its time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QTimerEvent>
#include <memory>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "link/PrintableText.h"
#include "sim/ModemSim.h"
#include "sim/SimFault.h"
#include "support/FakeLine.h"
#include "support/ModalScript.h"
#include "support/VirtualClock.h"
#include "support/WindowFixture.h"
#include "ui/MainFrame.h"

namespace {

// What a tick did, as lines "ms text". A run of equal sleeps (the modem's polls) or of
// block texts is one line with its count; the blocks' acknowledgements are left out (the
// transfer's own tests pin them).
class CTimeline {
  public:
    explicit CTimeline(CVirtualClock& clock) : m_clock(clock) {}
    void Add(const std::string& text) {
        m_bSpinning = false;
        if (!m_bOn || text == "write q,i,0#")
            return;
        const std::string key = text.rfind("status Zeile ", 0) == 0 && text.size() > 13
                                    ? "block"
                                    : text.substr(0, text.rfind("sleep", 0) == 0 ? 99 : 0);
        if (!key.empty() && !m_entries.empty() && m_entries.back().m_sKey == key) {
            ++m_entries.back().m_nCount;
            m_entries.back().m_sLast = text;
            return;
        }
        m_entries.push_back({m_clock.NowMs(), text, key, 1, text});
    }
    // A busy wait is one line, with its length.
    void Spin() {
        if (!m_bSpinning)
            Add("busy wait");
        m_bSpinning = m_bOn;
        if (m_bOn)
            m_entries.back().m_sLast = std::to_string(m_clock.NowMs() + 1 - m_entries.back().m_nMs);
    }
    std::vector<std::string> Lines(uint64_t startMs) const {
        std::vector<std::string> lines;
        for (const CEntry& e : m_entries) {
            std::string line = std::to_string(e.m_nMs - startMs) + " " + e.m_sText;
            if (e.m_sText == "busy wait")
                line += " " + e.m_sLast + " ms";
            else if (e.m_nCount > 1)
                line += " ×" + std::to_string(e.m_nCount) +
                        (e.m_sLast != e.m_sText ? " to " + e.m_sLast : "");
            lines.push_back(line);
        }
        return lines;
    }
    bool m_bOn = false;

  private:
    struct CEntry {
        uint64_t m_nMs;
        std::string m_sText, m_sKey;
        int m_nCount;
        std::string m_sLast;
    };
    CVirtualClock& m_clock;
    std::vector<CEntry> m_entries;
    bool m_bSpinning = false;
};

// The virtual clock, telling the timeline of every wait.
class CRecordingClock : public CVirtualClock {
  public:
    void Sleep(uint32_t ms) override {
        m_timeline.Add("sleep " + std::to_string(ms) + " ms");
        CVirtualClock::Sleep(ms);
    }
    void Spin() override {
        m_timeline.Spin();
        CVirtualClock::Spin();
    }
    CTimeline m_timeline{*this};
};

// The modem in front of the module, telling the timeline of every write.
class CRecordingPeer : public CSimPeer {
  public:
    CRecordingPeer(CSimPeer& inner, CTimeline& timeline) : m_inner(inner), m_timeline(timeline) {}
    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override {
        m_timeline.Add("write " + PrintableText(std::string(data, data + n)));
        m_inner.OnHostBytes(data, n, nowUs, out);
    }

  private:
    CSimPeer& m_inner;
    CTimeline& m_timeline;
};

// The main window, telling the timeline of what it shows and of its timer.
class CRecordingFrame : public CMainFrame {
  public:
    CRecordingFrame(CPixlaneApp& app, CTimeline& timeline)
        : CMainFrame(app), m_timeline(timeline) {}
    void SetStatusText(const std::string& text) override {
        m_timeline.Add("status " + text);
        CMainFrame::SetStatusText(text);
    }
    void MessageBox(const std::string& text) override {
        m_timeline.Add("box " + text);
        CMainFrame::MessageBox(text);
    }
    void StopCaptureTimer() override {
        CMainFrame::StopCaptureTimer();
        m_timeline.Add("timer stopped");
    }
    void RearmCaptureTimer() override {
        CMainFrame::RearmCaptureTimer();
        m_timeline.Add("timer set " + std::to_string(CaptureTimer().interval()) + " ms" +
                       (CaptureTimer().isActive() ? "" : ", not running"));
    }

  private:
    CTimeline& m_timeline;
};

class CaptureTickTest : public CWindowFixture {
  protected:
    void SetUp() override {
        CWindowFixture::SetUp();
        // Closed, and opened again on the recording clock with the modem in front.
        m_app.OnPortToggle();
        m_app.Line().SetClock(&m_clock2);
        m_app.Line().SetLineFactory(&m_lines);
        m_lines.Attach(1, &m_peer);
        m_app.OnPortToggle();
        ASSERT_TRUE(m_app.m_bPortOpen);
        m_frame = std::make_unique<CRecordingFrame>(m_app, m_clock2.m_timeline);
        m_app.SetUi(m_frame.get());
    }

    CRecordingClock m_clock2;
    CFakeLineFactory m_lines{m_clock2};
    CModemSim m_modem{m_module};
    CRecordingPeer m_peer{m_modem, m_clock2.m_timeline};
};

TEST_F(CaptureTickTest, ATickRunsEachStepWithItsRetriesTextsAndWaitsInOrder) {
    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    ASSERT_TRUE(m_frame->CaptureTimer().isActive());
    // Each step that tries again fails once: the first dial (the modem refuses ATX3), the
    // first picture parameters, the first channel selection, the first transfer (a bad
    // check byte in block 2) and the first hang-up (no answer).
    m_modem.AddFault({ESimFault::ModemError, "ATX3", -1, 0, false});
    m_module.AddFault({ESimFault::AckDigit, "P", -1, 0, false});
    m_module.AddFault({ESimFault::AckDigit, "G", -1, 0, false});
    m_module.AddFault({ESimFault::BadCheck, "", 2, 0, false});
    m_module.AddFault({ESimFault::Silent, "E", -1, 0, false});
    CTimeline& timeline = m_clock2.m_timeline;
    const uint64_t start = m_clock2.NowMs();
    CModalScript boxes({});
    timeline.m_bOn = true;
    QTimerEvent due(m_frame->CaptureTimer().timerId());
    QCoreApplication::sendEvent(const_cast<QTimer*>(&m_frame->CaptureTimer()), &due);
    timeline.m_bOn = false;

    // Times in ms from the tick's start. Every character of a modem answer costs a poll of
    // 250 ms; a busy wait of 1000 ms ends in the tick after it.
    const std::vector<std::string> expected = {
        "0 timer stopped",
        // The dial: "AT" echoed and answered OK (nine characters to its line end), "ATE0M1"
        // (its echo, then OK), "ATX3" answered ERROR, which ends the step at once; the
        // purge a second later, then the step's text.
        "0 status Verbindung wird aufgebaut..",
        "0 write AT\\x0D",
        "0 sleep 250 ms ×9",
        "2250 write ATE0M1\\x0D",
        "2250 sleep 250 ms ×13",
        "5500 write ATX3\\x0D",
        "5500 sleep 250 ms ×7",
        "7250 busy wait 1001 ms",
        "8251 status Modem Fehler Nebenstelle",
        // A second later the second dial, without echo now; CONNECT two seconds after the
        // dial command, the rest of its line, and the two-second test.
        "8251 sleep 1000 ms",
        "9251 status Verbindung wird aufgebaut..",
        "9251 write AT\\x0D",
        "9251 sleep 250 ms ×6",
        "10751 write ATE0M1\\x0D",
        "10751 sleep 250 ms ×6",
        "12251 write ATX3\\x0D",
        "12251 sleep 250 ms ×6",
        "13751 status wählen läuft..",
        "13751 write ATD!22\\x0D",
        "13751 sleep 250 ms ×9",
        "17751 status CONNECT",
        "17751 sleep 250 ms ×7",
        "19501 status Test bitte warten..",
        "19501 sleep 2000 ms",
        "21501 status Verbindung ist OK..",
        // The picture parameters: refused (the write's own second before its purge), a
        // second; taken, a second.
        "21501 write P,008,000,0b4,120,0c0,120,1,0#",
        "21501 busy wait 1001 ms",
        "22502 sleep 1000 ms",
        "23502 write P,008,000,0b4,120,0c0,120,1,0#",
        "23502 sleep 1000 ms",
        // The re-grab: the first of the run sends the parameters once more; the channel is
        // refused (a second, then the box), then taken, with no wait between.
        "24502 write P,008,000,0b4,120,0c0,120,1,0#",
        "24502 write G,01#",
        "24502 busy wait 1001 ms",
        "25503 box Kanal nicht vorhanden",
        "25503 write G,01#",
        // The fetch: broken in block 2 (the break answer, a second before the purge), a
        // second, then the whole picture.
        "25503 status Zeile ",
        "25503 write I,00000,B4,0090,3#",
        "25503 status Zeile 0 wird empfangen ... ×3 to status Zeile 2 wird empfangen ...",
        "25503 write q,i,1#",
        "25503 busy wait 1001 ms",
        "26504 sleep 1000 ms",
        "27504 status Zeile ",
        "27504 write I,00000,B4,0090,3#",
        "27504 status Zeile 0 wird empfangen ... ×144 to status Zeile 143 wird empfangen ...",
        "27504 status Fertig !",
        // The hang-up: no answer within the read time-out, a second, then confirmed.
        "27504 write E,1#",
        "30504 status Auflegen nicht möglich !",
        "30504 sleep 1000 ms",
        "31504 write E,1#",
        "31504 status Verbindung getrennt !",
        "31504 timer set 600000 ms",
    };
    EXPECT_EQ(timeline.Lines(start), expected);
    EXPECT_EQ(boxes.m_texts, QStringList{"Kanal nicht vorhanden"});
    EXPECT_TRUE(m_app.m_bTimer);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
