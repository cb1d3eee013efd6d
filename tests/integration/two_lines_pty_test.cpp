// Two lines in one process at the same time, each on a thread of its own: the application's
// line and a second session beside it, each on its own QSerialPort over its own
// pseudo-terminal, each fetching from its own simulated module served in real time. The
// modules serve pictures of different sizes on different channels, so a picture that came
// over the other line, or a line that carried some of both, does not match. Nothing here
// measures time; the limits below only keep a broken run from hanging.

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "link/ComPort.h"
#include "link/LineSession.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "sim/TestPicture.h"

namespace {

// Both transfers wait after their first block until the other has had its first block
// too: from then on both lines carry a picture at once, however the threads are scheduled.
class CMeeting {
  public:
    // True when the other arrived as well (within a limit, so that a fetch that never
    // started cannot hold this one up for ever).
    bool ArriveAndWait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nArrived;
        m_cv.notify_all();
        return m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return m_nArrived >= 2; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nArrived = 0;
};

// A module on a pseudo-terminal of its own.
struct CServedModule {
    explicit CServedModule(std::string* error) {
        m_module.SetPacing(921600, 0);
        m_bStarted = m_server.Start(m_module, m_sDevice, error);
    }
    CGreyPicture LastPicture() {
        CGreyPicture picture;
        m_server.WithPeer([&] { picture = m_module.LastPicture(); });
        return picture;
    }
    // How often it received the frame; the host's last acknowledgements may still be on
    // their way, so it waits (a few seconds at most) for the count to reach atLeast.
    int Count(const std::string& frame, int atLeast) {
        int n = 0;
        for (int tries = 0; tries < 300; ++tries) {
            m_server.WithPeer([&] {
                n = 0;
                for (const std::string& f : m_module.Frames())
                    n += f == frame ? 1 : 0;
            });
            if (n >= atLeast)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return n;
    }

    CModuleSim m_module;
    CPtySimServer m_server;
    std::string m_sDevice;
    bool m_bStarted = false;
};

// The application's user interface, meeting the other fetch after the first block.
class CMeetingUi : public CRecordingUi {
  public:
    explicit CMeetingUi(CMeeting& meeting) : m_meeting(meeting) {}
    void ShowProgress(const CFetchProgress& progress) override {
        CRecordingUi::ShowProgress(progress);
        if (progress.BlocksDone() == 1)
            m_bMet = m_meeting.ArriveAndWait();
    }
    bool m_bMet = false;

  private:
    CMeeting& m_meeting;
};

// What a thread's fetch gave.
struct CFetched {
    bool m_bOpened = false;
    bool m_bSelected = false;
    bool m_bWhole = false;
    bool m_bMet = false;
    CGreyPicture m_picture;
};

TEST(TwoLinesPtyTest, TwoSessionsFetchTheirOwnPicturesAtTheSameTime) {
    std::string error;
    CServedModule narrow(&error);
    ASSERT_TRUE(narrow.m_bStarted) << error;
    CServedModule wide(&error);
    ASSERT_TRUE(wide.m_bStarted) << error;
    ASSERT_NE(narrow.m_sDevice, wide.m_sDevice);
    CMeeting meeting;

    // The application, on the narrow module: channel 2, 180 x 144 grey.
    CFetched byApp;
    std::unique_ptr<QThread> appThread(QThread::create([&] {
        CPixlaneApp app;
        CMeetingUi ui(meeting);
        app.SetUi(&ui);
        app.BuildYuvTables();
        app.m_iBildbreite = 180;
        app.m_iBildhoehe = 144;
        CTargetLine line;
        line.m_address = CLineAddress::Device(narrow.m_sDevice);
        line.m_iBaudrate = 115200;
        byApp.m_bOpened = app.OpenPort(line);
        if (!byApp.m_bOpened) {
            meeting.ArriveAndWait();
            return;
        }
        byApp.m_bSelected = CComPort(app.Line()).SelectChannel("2");
        byApp.m_bWhole = app.FetchImage();
        byApp.m_bMet = ui.m_bMet;
        // The image buffer keeps its rows bottom-up.
        const CImage& image = app.m_image;
        CGreyPicture& got = byApp.m_picture;
        got.m_nWidth = image.Width();
        got.m_nHeight = image.Height();
        if (image.HasBits())
            for (int y = got.m_nHeight - 1; y >= 0; --y)
                got.m_pixels.insert(got.m_pixels.end(),
                                    image.Bits() + static_cast<size_t>(y) * got.m_nWidth,
                                    image.Bits() + static_cast<size_t>(y + 1) * got.m_nWidth);
        app.SetUi(nullptr);
    }));

    // A session beside it, on the wide module: channel 5, 360 x 288 grey, in 576 blocks
    // of 180 bytes.
    CFetched bySession;
    std::unique_ptr<QThread> sessionThread(QThread::create([&] {
        CLineSession line;
        CComPort port(line);
        bySession.m_bOpened =
            port.Open(CLineAddress::Device(wide.m_sDevice)) && port.Setup(115200, 8, 0, 1, 2);
        if (!bySession.m_bOpened) {
            meeting.ArriveAndWait();
            return;
        }
        bySession.m_bSelected = port.SelectChannel("5");
        std::vector<uint8_t> block(256 + 1);  // the longest block a length field can give
        std::vector<uint8_t>& pixels = bySession.m_picture.m_pixels;
        const int result = port.ReceiveImage(
            "I,00000,B4,0240,3#", block.data(), 576,
            [&](int, int n) { pixels.insert(pixels.end(), block.begin(), block.begin() + n); },
            [&](int i, int) {
                if (i == 0)
                    bySession.m_bMet = meeting.ArriveAndWait();
            });
        bySession.m_bWhole = result == kTransferComplete;
        bySession.m_picture.m_nWidth = 360;
        bySession.m_picture.m_nHeight = 288;
    }));

    appThread->start();
    sessionThread->start();
    appThread->wait();
    sessionThread->wait();

    ASSERT_TRUE(byApp.m_bOpened) << narrow.m_sDevice;
    ASSERT_TRUE(bySession.m_bOpened) << wide.m_sDevice;
    EXPECT_TRUE(byApp.m_bSelected);
    EXPECT_TRUE(bySession.m_bSelected);
    EXPECT_TRUE(byApp.m_bMet && bySession.m_bMet) << "the two transfers did not overlap";
    EXPECT_TRUE(byApp.m_bWhole);
    EXPECT_TRUE(bySession.m_bWhole);

    // Each picture is its own module's, byte for byte.
    const CGreyPicture narrowSent = narrow.LastPicture();
    const CGreyPicture wideSent = wide.LastPicture();
    EXPECT_EQ(narrowSent.m_nWidth, 180);
    EXPECT_EQ(wideSent.m_nWidth, 360);
    EXPECT_EQ(byApp.m_picture.m_nWidth, narrowSent.m_nWidth);
    EXPECT_EQ(byApp.m_picture.m_nHeight, narrowSent.m_nHeight);
    EXPECT_TRUE(byApp.m_picture.m_pixels == narrowSent.m_pixels);
    EXPECT_TRUE(bySession.m_picture.m_pixels == wideSent.m_pixels);
    // The picture of the channel each session chose.
    EXPECT_TRUE(narrowSent.m_pixels == MakeTestPicture(180, 144, 2, 1).m_pixels);
    EXPECT_TRUE(wideSent.m_pixels == MakeTestPicture(360, 288, 5, 1).m_pixels);

    // And each module heard its own line only.
    EXPECT_EQ(narrow.Count("G,02#", 1), 1);
    EXPECT_EQ(wide.Count("G,05#", 1), 1);
    EXPECT_EQ(narrow.Count("q,i,0#", 144), 144);
    EXPECT_EQ(wide.Count("q,i,0#", 576), 576);
    EXPECT_EQ(narrow.Count("G,05#", 0), 0);
    EXPECT_EQ(narrow.Count("I,00000,B4,0240,3#", 0), 0);
    EXPECT_EQ(wide.Count("G,02#", 0), 0);
    EXPECT_EQ(wide.Count("I,00000,B4,0090,3#", 0), 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
