// pixlane-cli dialling the simulated module through its Hayes modem over a real
// pseudo-terminal, in real time.
#include <QTemporaryDir>

#include "PtyFixture.h"

namespace {

const char* const kConnected =
    "Verbindung wird aufgebaut..\nwählen läuft..\nCONNECT\nTest bitte warten..\n"
    "Verbindung ist OK..\n";

class CliModemPtyTest : public CliPtyFixture {
  protected:
    void SetUp() override {
        CliPtyFixture::SetUp();
        m_modem.m_nDialDelayMs = 300;
    }
};

TEST_F(CliModemPtyTest, DialThenCommandsThenHangup) {
    Serve(true);
    const CCliResult dial = Cli({"dial", "--number", "!31"});
    EXPECT_EQ(dial.m_nExit, 0) << dial.m_sErr;
    EXPECT_EQ(dial.m_sOut, "");
    EXPECT_EQ(dial.m_sErr, kConnected);
    // The connection outlives the run that made it.
    const CCliResult status = Cli({"status", "camera"});
    EXPECT_EQ(status.m_nExit, 0) << status.m_sErr;
    EXPECT_EQ(status.m_sOut, "03\n");
    const CCliResult hangup = Cli({"hangup"});
    EXPECT_EQ(hangup.m_nExit, 0) << hangup.m_sErr;
    EXPECT_EQ(hangup.m_sErr, "Verbindung wird getrennt..\nVerbindung getrennt!\n");
    m_server.WithPeer([&] {
        EXPECT_EQ(m_modem.Dialled(), std::vector<std::string>{"!31"});
        EXPECT_FALSE(m_modem.IsOnline());
    });
}

TEST_F(CliModemPtyTest, FetchWithModemDialsAndBringsTheWholePicture) {
    Serve(true);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("modem.bmp").toStdString();
    const CCliResult r = Cli({"fetch", "--modem", "-o", path});
    ASSERT_EQ(r.m_nExit, 0) << r.m_sErr;
    EXPECT_EQ(r.m_sErr, std::string(kConnected) + "Zeile 143 wird empfangen ...\nFertig !\n");
    std::string expected;
    m_server.WithPeer([&] {
        expected = GreyBmpFile(m_module.LastPicture());
        EXPECT_EQ(m_modem.Dialled(), std::vector<std::string>{"!22"});  // the stored default
    });
    EXPECT_EQ(FileBytes(path), expected);
}

TEST_F(CliModemPtyTest, ABusyLineEndsTheDialWithTheDiallersTextAndTheModemsWord) {
    m_modem.m_eDialResult = EDialResult::Busy;
    Serve(true);
    const CCliResult r = Cli({"dial"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sOut, "");
    EXPECT_EQ(r.m_sErr,
              "Verbindung wird aufgebaut..\nwählen läuft..\nGegenstelle antwortet nicht\n"
              "Modem meldet BUSY\n");
    m_server.WithPeer([&] { EXPECT_FALSE(m_modem.IsOnline()); });
}

}  // namespace
