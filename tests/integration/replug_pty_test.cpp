// A USB adapter pulled and plugged back in while the window runs, played by pseudo-
// terminals behind one symbolic link that the stored settings name as port 1: the
// application object on the real serial back end, the settings in a temporary folder.

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "capture/CaptureRound.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"
#include "support/VirtualClock.h"

namespace {

class ReplugPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_sLink = m_dir.filePath(QStringLiteral("modul-adapter")).toStdString();
        m_pStore = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("Pixlane.conf")),
                                               QSettings::IniFormat);
        m_pStore->setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(m_sLink));
        m_pStore->setValue(QStringLiteral("Pixlane/BasicSettings/m_iCom"), 1);
        m_pStore->setValue(QStringLiteral("Pixlane/BasicSettings/m_iBaudrate"), 115200);
        m_pStore->sync();
    }
    void TearDown() override {
        m_app.ExitInstance();
        m_server.Stop();
    }

    // Plugs an adapter in: a new pseudo-terminal under the link, served by the module.
    void Plug(CModuleSim& module, uint32_t baud = 921600) {
        module.SetPacing(baud, 0);
        m_server.m_sLinkPath = m_sLink;
        std::string device;
        std::string error;
        ASSERT_TRUE(m_server.Start(module, device, &error)) << error;
    }
    // The frames the module received, without the block acknowledgements.
    std::vector<std::string> Frames(CModuleSim& module) {
        std::vector<std::string> frames;
        m_server.WithPeer([&] {
            for (const std::string& f : module.Frames())
                if (f != "q,i,0#")
                    frames.push_back(f);
        });
        return frames;
    }
    bool Showed(const char* text) const {
        return std::find(m_ui.m_status.begin(), m_ui.m_status.end(), text) != m_ui.m_status.end();
    }

    QTemporaryDir m_dir;
    std::string m_sLink;
    std::unique_ptr<QSettings> m_pStore;
    // The adapter before and after it was pulled, and any further plugs; they outlive the
    // server that serves them.
    CModuleSim m_first;
    CModuleSim m_second;
    std::deque<CModuleSim> m_further;
    CPtySimServer m_server;
    CRecordingUi m_ui;
    CPixlaneApp m_app;
};

TEST_F(ReplugPtyTest, TheWindowPicksTheLineUpAgainWithoutARestart) {
    Plug(m_first);
    m_app.SetUi(&m_ui);
    ASSERT_TRUE(m_app.InitInstance(m_pStore.get()));
    ASSERT_TRUE(m_app.m_bPortOpen) << "port 1 is the stored link";
    m_app.OnCommand(ID_BILD_HOLEN);
    ASSERT_EQ(m_ui.m_status.back(), "Fertig !");

    // Pulled: the far end closes and the link goes with it.
    m_server.Stop();
    m_app.OnCommand(ID_BILD_HOLEN);
    EXPECT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt");
    EXPECT_FALSE(m_app.m_bPortOpen);
    EXPECT_FALSE(m_app.Line().IsOpen());
    m_ui.m_messages.clear();
    m_app.OnCommand(ID_KAMERASTATUS);
    EXPECT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt");
    EXPECT_TRUE(m_ui.m_messages.empty()) << "nothing was asked";

    // Plugged back, perhaps as another terminal: the same name leads to it.
    Plug(m_second);
    m_ui.m_status.clear();
    m_app.OnCommand(ID_BILD_HOLEN);
    EXPECT_TRUE(Showed("Schnittstelle wieder verbunden"));
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
    EXPECT_TRUE(m_app.m_bPortOpen);
    EXPECT_EQ(m_app.m_image.Width(), 180);
    // Nothing went to the module on reopening but what the fetch sends.
    EXPECT_EQ(Frames(m_second), std::vector<std::string>{"I,00000,B4,0090,3#"});
}

// Weeks at a site with a loose adapter: pulled and plugged back again and again, picked
// up by the window's commands and by unattended capture rounds, which fail while it is
// out. Every reopening gives back what the one before took.
TEST_F(ReplugPtyTest, AHundredReopeningsLeaveNoDescriptorBehind) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    // The pseudo-terminal tests run on Linux, which always has it.
    ASSERT_TRUE(fds.exists()) << "no /proc/self/fd to count the open descriptors in";
    const auto openDescriptors = [&fds] {
        return fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    };
    // The waits of the capture round pass in virtual time; the line is real. Each plug is
    // a module of its own, on a time line of its own as the server starts it.
    CVirtualClock clock;
    m_app.Line().SetClock(&clock);
    const auto plug = [this] { Plug(m_further.emplace_back(), 0); };
    plug();
    m_app.SetUi(&m_ui);
    ASSERT_TRUE(m_app.InitInstance(m_pStore.get()));
    CCapturePlan plan;
    plan.m_line = m_app.Target().m_line;
    plan.m_channels = {m_app.m_iKanal};
    plan.m_bRegrab = true;
    plan.m_bDial = false;
    plan.m_bUnattended = true;
    ASSERT_EQ(CCaptureRound(m_app, plan).Run().m_nFailed, 0);
    const auto before = openDescriptors();

    for (int i = 0; i < 50; ++i) {
        m_server.Stop();
        m_app.OnCommand(ID_KAMERASTATUS);
        ASSERT_EQ(m_ui.m_status.back(), "Schnittstelle getrennt") << "pull " << i;
        plug();
        m_ui.m_status.clear();
        m_app.OnCommand(ID_KAMERASTATUS);
        ASSERT_TRUE(Showed("Schnittstelle wieder verbunden")) << "plug " << i;

        m_server.Stop();
        ASSERT_GT(CCaptureRound(m_app, plan).Run().m_nFailed, 0) << "pull " << i;
        plug();
        ASSERT_EQ(CCaptureRound(m_app, plan).Run().m_nFailed, 0) << "plug " << i;
    }
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
