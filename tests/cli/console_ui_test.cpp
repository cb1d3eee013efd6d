// The console user interface: status and message texts one a line, the per-block texts
// of a fetch as one progress line, quiet runs.
#include <gtest/gtest.h>

#include <QStringList>
#include <sstream>

#include "cli/ConsoleUi.h"
#include "cli/QtMessages.h"
#include "link/Trace.h"

namespace {

QStringList s_passed;
void RecordMessage(QtMsgType, const QMessageLogContext& context, const QString& message) {
    s_passed << QString::fromLatin1(context.category) + ": " + message;
}

TEST(QtMessageFilterTest, OnlyTheProgramsTraceGetsThrough) {
    const QtMessageHandler before = qInstallMessageHandler(RecordMessage);
    auto& trace = const_cast<QLoggingCategory&>(lcPixlaneTrace());
    trace.setEnabled(QtDebugMsg, true);  // as QT_LOGGING_RULES="pixlane.trace=true"
    {
        const CQtMessageFilter filter;
        qWarning("QStandardPaths: XDG_RUNTIME_DIR not set");
        PixTrace("open %s", "/dev/ttyUSB0");
    }
    qWarning("after the run");
    trace.setEnabled(QtDebugMsg, false);
    qInstallMessageHandler(before);
    EXPECT_EQ(s_passed,
              (QStringList{"pixlane.trace: open /dev/ttyUSB0", "default: after the run"}));
}

// What the application shows during a fetch of an image of `rows` rows in `blocks` blocks.
void PlayFetch(CConsoleUi& ui, int rows, int blocks) {
    ui.ResizeForImage(180, rows);
    ui.SetProgressText("Zeile ");
    for (int i = 0; i < blocks; ++i) {
        ui.SetImageSize(rows, 180);
        ui.SetProgressText("Zeile " + std::to_string(i) + " wird empfangen ...");
        ui.RepaintRows(i * rows / blocks, (i + 1) * rows / blocks - 1);
    }
}

TEST(ConsoleUiTest, TextsGoOneALineAndBlockTextsCollapseToTheLastOne) {
    std::ostringstream err;
    CConsoleUi ui(err, false, false);
    ui.SetStatusText("Verbindung wird aufgebaut..");
    ui.MessageBox("Kanal nicht vorhanden");
    PlayFetch(ui, 144, 4);
    ui.SetStatusText("Fertig !");
    ui.SetStatusText("Verbindung getrennt!");
    ui.Finish();
    EXPECT_EQ(err.str(),
              "Verbindung wird aufgebaut..\n"
              "Kanal nicht vorhanden\n"
              "Zeile 3 wird empfangen ...\n"
              "Fertig !\n"
              "Verbindung getrennt!\n");
    EXPECT_EQ(ui.LastStatus(), "Verbindung getrennt!");
    EXPECT_EQ(ui.MessageCount(), 1);
}

TEST(ConsoleUiTest, ABrokenFetchLeavesItsLastBlockTextWhenTheRunEnds) {
    std::ostringstream err;
    CConsoleUi ui(err, false, false);
    PlayFetch(ui, 144, 6);
    EXPECT_EQ(err.str(), "");  // still open
    ui.Finish();
    ui.Finish();
    EXPECT_EQ(err.str(), "Zeile 5 wird empfangen ...\n");

    std::ostringstream refused;
    CConsoleUi ui2(refused, false, false);
    ui2.SetProgressText("Zeile ");
    ui2.MessageBox("Fehler beim Speichern !");
    EXPECT_EQ(refused.str(), "Zeile \nFehler beim Speichern !\n");
}

TEST(ConsoleUiTest, OnATerminalTheProgressLineIsRewrittenInPlace) {
    std::ostringstream err;
    CConsoleUi ui(err, false, true);
    PlayFetch(ui, 144, 4);
    ui.SetStatusText("Fertig !");
    const std::string s = err.str();
    // Every block rewrites the line from its start; the rows done show as a share.
    EXPECT_NE(s.find("\rZeile 0 wird empfangen ...  25 %\x1b[K"), std::string::npos) << s;
    EXPECT_NE(s.find("\rZeile 3 wird empfangen ...  100 %\x1b[K"), std::string::npos) << s;
    // The line is closed with the text as the window showed it, before the next line.
    const std::string tail = "\rZeile 3 wird empfangen ...\x1b[K\nFertig !\n";
    ASSERT_GE(s.size(), tail.size());
    EXPECT_EQ(s.substr(s.size() - tail.size()), tail);
    size_t newlines = 0;
    for (char c : s)
        newlines += c == '\n';
    EXPECT_EQ(newlines, 2u);
}

TEST(ConsoleUiTest, OnATerminalTheProgressLineShowsShareRateAndTimeLeft) {
    std::ostringstream err;
    CConsoleUi ui(err, false, true);
    CFetchProgress p;
    p.Start(10, 0);
    ui.ShowProgress(p);
    ui.SetProgressText("Zeile ");
    // As a fetch shows them: the block's text, then its progress once acknowledged.
    for (int i = 0; i < 3; ++i) {
        ui.SetProgressText("Zeile " + std::to_string(i) + " wird empfangen ...");
        p.AddBlock(180, 6000 + 1500 * i);
        ui.ShowProgress(p);
    }
    // Until a second block has come the pace is unknown; from then on it is shown.
    const std::string s = err.str();
    EXPECT_NE(s.find("\rZeile 0 wird empfangen ...  10 %\x1b[K"), std::string::npos) << s;
    EXPECT_NE(s.find("\rZeile 2 wird empfangen ...  30 %  120 B/s  noch 0:11\x1b[K"),
              std::string::npos)
        << s;
    ui.EndProgress();
    ui.SetStatusText("Fertig !");
    const std::string tail = "\rZeile 2 wird empfangen ...\x1b[K\nFertig !\n";
    EXPECT_EQ(err.str().substr(err.str().size() - tail.size()), tail);
}

TEST(ConsoleUiTest, QuietLeavesOutStatusTextsButNotMessagesOrTheCauseOfAFailure) {
    std::ostringstream err;
    CConsoleUi ui(err, true, true);
    ui.SetStatusText("Verbindung wird aufgebaut..");
    PlayFetch(ui, 144, 2);
    ui.SetStatusText("Gegenstelle antwortet nicht");
    ui.Finish();
    EXPECT_EQ(err.str(), "");
    ui.MessageBox("Kanal nicht vorhanden");
    ui.ReportFailure();
    EXPECT_EQ(err.str(), "Kanal nicht vorhanden\nGegenstelle antwortet nicht\n");

    // A run that is not quiet has shown the cause already.
    std::ostringstream loud;
    CConsoleUi ui2(loud, false, false);
    ui2.SetStatusText("Gegenstelle antwortet nicht");
    ui2.ReportFailure();
    EXPECT_EQ(loud.str(), "Gegenstelle antwortet nicht\n");
}

TEST(ConsoleUiTest, TheScreenImageFollowsTheImageSize) {
    std::ostringstream err;
    CConsoleUi ui(err, false, false);
    CScreenImage* a = ui.ScreenImage(180, 144);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->m_nWidth, 180);
    EXPECT_EQ(a->m_nHeight, 144);
    EXPECT_GE(a->m_nStride, 180);
    a->m_pPixels[179 + 143 * a->m_nStride] = 0xFFFFFFFF;  // the last pixel is there
    CScreenImage* b = ui.ScreenImage(360, 288);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_nWidth, 360);
    EXPECT_EQ(b->m_nHeight, 288);
    b->m_pPixels[359 + 287 * b->m_nStride] = 0xFFFFFFFF;
    EXPECT_EQ(ui.ScreenImage(0, 144), nullptr);
}

}  // namespace
