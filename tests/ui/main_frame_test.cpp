#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <QToolBar>
#include <QTranslator>
#include <algorithm>
#include <climits>
#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "app/Commands.h"
#include "app/PixlaneApp.h"
#include "capture/Journal.h"
#include "image/Bmp.h"
#include "image/Image.h"
#include "link/ComPort.h"
#include "platform/CloseSignals.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/SimFault.h"
#include "support/FakeLine.h"
#include "support/ModalScript.h"
#include "support/VirtualClock.h"
#include "support/WindowFixture.h"
#include "ui/FetchPainter.h"
#include "ui/MainFrame.h"
#include "ui/PixlaneDoc.h"
#include "ui/PixlaneView.h"
#include "ui/QtTexts.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// One line per menu entry: the nesting depth, the text and the command id (0 for a popup).
struct CMenuLine {
    int m_nDepth;
    QString m_sText;
    int m_nId;
    bool operator==(const CMenuLine&) const = default;
};

void CollectMenu(const QList<QAction*>& actions, int depth, std::vector<CMenuLine>& out) {
    for (QAction* a : actions) {
        if (a->isSeparator())
            continue;
        if (QMenu* sub = a->menu()) {
            out.push_back({depth, a->text(), 0});
            CollectMenu(sub->actions(), depth + 1, out);
        } else {
            out.push_back({depth, a->text(), a->data().toInt()});
        }
    }
}

// Records the view's paints while a fetch draws into it.
class CViewPaints : public QObject {
  public:
    explicit CViewPaints(CPixlaneView* view) : m_pView(view) { view->installEventFilter(this); }
    int m_nPaints = 0;
    QRegion m_painted;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_pView && event->type() == QEvent::Paint && m_pView->IsDrawing()) {
            ++m_nPaints;
            m_painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }

  private:
    CPixlaneView* m_pView;
};

// The status bar's text pane shows its whole text.
bool ShowsWholeText(const CMainFrame& frame) {
    const auto* pane = frame.findChild<QLabel*>(QStringLiteral("statusText"));
    return pane->contentsRect().width() >= pane->fontMetrics().horizontalAdvance(pane->text());
}

class MainFrameTest : public CWindowFixture {
  protected:
    void SetUp() override {
        CWindowFixture::SetUp();
        Frame();
    }
    void ShowAndActivate() {
        m_frame->show();
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    }
};

// A start-up whose port takes the open but refuses the line state.
class RefusedSetupStartTest : public CWindowFixture {
  protected:
    void SetUp() override {
        m_factory.m_bFailNextSetState = true;
        CWindowFixture::SetUp();
    }
};

TEST_F(RefusedSetupStartTest, TheWindowShowsTheSetUpFailureAndThePortCountsAsOpen) {
    EXPECT_TRUE(m_app.m_bPortOpen);
    CModalScript answer({});
    Frame();
    EXPECT_EQ(answer.m_texts, QStringList{"Fehler setzen !"});
    EXPECT_EQ(answer.m_titles, QStringList{"Pixlane"});
}

TEST_F(MainFrameTest, StartsAtItsPlaceWithAFixedSizeAndNoSizingBoxes) {
    EXPECT_EQ(m_frame->pos(), QPoint(100, 100));
    EXPECT_EQ(m_frame->size(), QSize(266, 288));
    EXPECT_EQ(m_frame->minimumSize(), m_frame->maximumSize());
    const Qt::WindowFlags f = m_frame->windowFlags();
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f & Qt::WindowTitleHint);
    EXPECT_TRUE(f & Qt::WindowSystemMenuHint);

    // A resize request from outside leaves the size alone.
    m_frame->resize(500, 500);
    EXPECT_EQ(m_frame->size(), QSize(266, 288));
}

TEST_F(MainFrameTest, CaptionAndStatusBarAfterStartUp) {
    EXPECT_EQ(m_frame->windowTitle(), "Pixlane - Unbenannt");
    ShowAndActivate();
    m_frame->View()->repaint();
    EXPECT_EQ(m_frame->windowTitle(), "Pixlane -  ");
    EXPECT_EQ(m_frame->StatusText(), "Bereit");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(m_frame->LockPane(i)->isVisible()) << i;
    // Nothing fetched yet: the view paints nothing of an image.
    EXPECT_TRUE(m_frame->View()->Picture().isNull());
}

TEST_F(MainFrameTest, MenuTreeCarriesEveryCommandWithItsText) {
    std::vector<CMenuLine> menu;
    CollectMenu(m_frame->menuBar()->actions(), 0, menu);
    const std::vector<CMenuLine> expected = {
        {0, "&Datei", 0},
        {1, "&Speichern", 32777},
        {1, "Automatisch speichern ...", 32820},
        {1, "&Beenden", 57665},
        {0, "&Bild", 0},
        {1, "&Bild holen (F4)", 32775},
        {1, "Bild neu &grabben (F5)", 32785},
        {1, QString::fromUtf8("ComPort öffnen/schließen"), 32782},
        {1, "&Verbindung beenden (F1)", 32795},
        {1, "Nibble1", 32798},
        {1, "Nibble2", 32799},
        {1, "Nibble 1+2 (F10)", 32804},
        {1, "Loop", 0},
        {2, "&Bild Loop (F7)", 32805},
        {2, "Nibble 1+2", 32813},
        {2, "Nibble 2 (F12)", 32814},
        {0, "&Modul", 0},
        {1, "&Einstellungen", 32772},
        {1, "&Status", 0},
        {2, QString::fromUtf8("Übersicht"), 32803},
        {2, "&Kamerastatus", 32781},
        {2, "Inputstatus", 32797},
        {2, "Fehlerstatus", 32796},
        {2, "Zeitstempel", 32794},
        {2, "Rest Modul", 32792},
        {1, "Standorte ...", 32821},
        {0, "&?", 0},
        {1, QString::fromUtf8("Inf&o über Pixlane..."), 57664},
        {1, QString::fromUtf8("&Info über Modul Software"), 32789},
    };
    ASSERT_EQ(menu.size(), expected.size());
    for (size_t i = 0; i < menu.size(); ++i) {
        EXPECT_EQ(menu[i], expected[i]) << i << ": " << menu[i].m_sText.toStdString();
        if (menu[i].m_nId != 0) {
            QAction* a = m_frame->MenuAction(menu[i].m_nId);
            ASSERT_NE(a, nullptr);
            EXPECT_TRUE(a->isEnabled());
            // The keys sit in the accelerator table; the menu shows the text as it is.
            EXPECT_TRUE(a->shortcut().isEmpty());
        }
    }
    EXPECT_EQ(m_frame->MenuAction(ID_KAMERASTATUS)->statusTip(), "Kamerastatus ");
}

TEST_F(MainFrameTest, AcceleratorsReachTheirCommands) {
    const std::vector<std::pair<QKeySequence, int>> keys = {
        {QKeySequence("F1"), 32795},  {QKeySequence("F2"), 32792},  {QKeySequence("F3"), 32803},
        {QKeySequence("F4"), 32775},  {QKeySequence("F5"), 32785},  {QKeySequence("F7"), 32805},
        {QKeySequence("F8"), 32797},  {QKeySequence("F9"), 32799},  {QKeySequence("F10"), 32804},
        {QKeySequence("F11"), 32794}, {QKeySequence("F12"), 32814}, {QKeySequence("Ctrl+S"), 57603},
    };
    std::map<QKeySequence, int> bound;
    for (QAction* a : m_frame->actions())
        if (!a->shortcut().isEmpty())
            bound[a->shortcut()] = a->data().toInt();
    EXPECT_EQ(bound.size(), keys.size());
    for (const auto& [key, id] : keys)
        EXPECT_EQ(bound[key], id) << key.toString().toStdString();
    EXPECT_EQ(bound.count(QKeySequence("F6")), 0u);
}

TEST_F(MainFrameTest, ToolbarButtonsInOrderWithTooltips) {
    std::vector<std::pair<int, QString>> buttons;
    for (QAction* a : m_frame->ToolBar()->actions())
        buttons.emplace_back(a->isSeparator() ? 0 : a->data().toInt(),
                             a->isSeparator() ? QString() : a->toolTip());
    const std::vector<std::pair<int, QString>> expected = {
        {32804, "Bild im Nibble 1/2 holen"},
        {32785, "Bild neu grabben"},
        {32775, "Bild holen"},
        {32803, "Modulstatus"},
        {0, QString()},
        {32777, "Bildspeichern"},
    };
    EXPECT_EQ(buttons, expected);
    EXPECT_FALSE(m_frame->ToolBar()->isMovable());
    for (QAction* a : m_frame->ToolBar()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->toolTip().toStdString();
        }
    }
}

TEST_F(MainFrameTest, StatusTextGivesWayToBereitAfterAMenuWasOpened) {
    ShowAndActivate();
    m_frame->SetStatusText("Zeile 12 wird empfangen ...");
    EXPECT_EQ(m_frame->StatusText(), "Zeile 12 wird empfangen ...");
    QMenu* bild = m_frame->menuBar()->actions().at(1)->menu();
    ASSERT_NE(bild, nullptr);
    bild->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(bild));
    bild->close();
    EXPECT_EQ(m_frame->StatusText(), "Bereit");

    // Browsing to the camera status item shows its prompt while the menu is open.
    m_frame->SetStatusText("Fertig !");
    QMenu* modul = m_frame->menuBar()->actions().at(2)->menu();
    m_frame->menuBar()->setActiveAction(modul->menuAction());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(modul));
    QMenu* status = modul->actions().at(1)->menu();
    ASSERT_NE(status, nullptr);
    QTest::keyClick(modul, Qt::Key_Down);
    QTest::keyClick(modul, Qt::Key_Down);
    QTest::keyClick(modul, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(status));
    QTest::keyClick(status, Qt::Key_Down);
    EXPECT_EQ(status->activeAction(), m_frame->MenuAction(ID_KAMERASTATUS));
    EXPECT_EQ(m_frame->StatusText(), "Kamerastatus ");
    QTest::keyClick(status, Qt::Key_Escape);
    QTest::keyClick(modul, Qt::Key_Escape);
    modul->close();
    EXPECT_EQ(m_frame->StatusText(), "Bereit");
}

TEST_F(MainFrameTest, HoveringAToolbarButtonShowsItsPrompt) {
    ShowAndActivate();
    m_frame->SetStatusText("Fertig !");
    QWidget* button = m_frame->ToolBar()->widgetForAction(m_frame->ToolAction(ID_BILD_HOLEN));
    ASSERT_NE(button, nullptr);
    QTest::mouseMove(button);
    // The toolbar's commands have empty prompts: the pane shows the idle text.
    EXPECT_EQ(m_frame->StatusText(), "Bereit");
    m_frame->SetStatusText("Zeile 3 wird empfangen ...");
    QTest::mouseMove(m_frame->View());
    EXPECT_EQ(m_frame->StatusText(), "Bereit");
}

TEST_F(MainFrameTest, F4FetchesAndTheViewShowsTheImageUnscaled) {
    ShowAndActivate();
    QTest::keyClick(m_frame.get(), Qt::Key_F4);
    EXPECT_EQ(m_frame->StatusText(), "Fertig !");
    const CGreyPicture& pic = m_module.LastPicture();
    ASSERT_EQ(pic.m_nWidth, 180);
    ASSERT_EQ(pic.m_nHeight, 144);
    // The window was sized so that the view shows the whole image, without moving.
    EXPECT_EQ(m_frame->View()->size(), QSize(180, 144));
    EXPECT_EQ(m_frame->View()->x(), 0);
    EXPECT_EQ(m_frame->width(), 180);
    EXPECT_EQ(m_frame->pos(), QPoint(100, 100));
    EXPECT_EQ(m_frame->View()->ImageWidth(), 180);
    EXPECT_EQ(m_frame->View()->ImageHeight(), 144);

    // What the view paints is the module's picture, pixel for pixel, at the top-left.
    const QImage shown = m_frame->View()->grab().toImage();
    ASSERT_GE(shown.width(), 180);
    ASSERT_GE(shown.height(), 144);
    int wrong = 0;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 180; ++x)
            wrong += qGray(shown.pixel(x, y)) != pic.At(x, y) ||
                     qRed(shown.pixel(x, y)) != qBlue(shown.pixel(x, y));
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(m_frame->windowTitle(), "Pixlane -  ");
}

TEST_F(MainFrameTest, AColourPictureIsPaintedWithItsRedGreenAndBlue) {
    ShowAndActivate();
    m_app.m_iMonochrom = 1;
    m_app.m_iModus = 4;
    ASSERT_TRUE(m_app.GetImage());
    ASSERT_TRUE(m_app.m_image.IsColour());
    const QImage shown = m_frame->View()->grab().toImage();
    ASSERT_GE(shown.width(), 180);
    ASSERT_GE(shown.height(), 144);
    int wrong = 0, redNotBlue = 0;
    for (int y = 0; y < 144; ++y) {
        const uint8_t* row = m_app.m_image.Row(y);  // blue, green, red
        for (int x = 0; x < 180; ++x) {
            const QRgb p = shown.pixel(x, y);
            const uint8_t* bgr = row + 3 * x;
            wrong += qRed(p) != bgr[2] || qGreen(p) != bgr[1] || qBlue(p) != bgr[0];
            redNotBlue += bgr[0] != bgr[2];
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(redNotBlue, 1000) << "a picture in which red and blue can be told apart";
}

TEST_F(MainFrameTest, ProgressBarCountsTheBlocksWhileAFetchRunsAndGoesWhenItEnds) {
    ShowAndActivate();
    QProgressBar* bar = m_frame->ProgressBar();
    struct CSeen {
        int m_nValue, m_nMax;
        bool m_bBar, m_bRate, m_bTimeLeft, m_bLockPane;
        QSize m_view;
        int m_nBarHeight;
    };
    std::vector<CSeen> seen;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
        seen.push_back({v, bar->maximum(), bar->isVisible(), m_frame->RatePane()->isVisible(),
                        m_frame->TimeLeftPane()->isVisible(), m_frame->LockPane(0)->isVisible(),
                        m_frame->View()->size(), bar->height()});
    });
    EXPECT_FALSE(bar->isVisible());
    // At 115200 baud a block takes about as long as the repaint limit.
    m_module.SetPacing(115200, 0);
    QTest::keyClick(m_frame.get(), Qt::Key_F4);
    ASSERT_GE(seen.size(), 10u);
    EXPECT_EQ(seen.front().m_nValue, 0);
    EXPECT_EQ(seen.back().m_nValue, 144);
    for (size_t i = 0; i < seen.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(seen[i].m_nValue, seen[i - 1].m_nValue) << i;
        }
        EXPECT_EQ(seen[i].m_nMax, 144);
        EXPECT_TRUE(seen[i].m_bBar && seen[i].m_bTimeLeft) << i;
        // The empty lock-key panes give their room to the progress; a window as narrow
        // as this picture has none for the rate.
        EXPECT_FALSE(seen[i].m_bLockPane) << i;
        EXPECT_FALSE(seen[i].m_bRate) << i;
        // The window was sized to the picture with the progress hidden: the bar is no
        // taller than the panes it stands in for, and the view keeps the whole picture.
        EXPECT_EQ(seen[i].m_view, QSize(180, 144)) << i;
        EXPECT_LE(seen[i].m_nBarHeight, m_frame->LockPane(0)->sizeHint().height()) << i;
    }
    EXPECT_EQ(m_frame->StatusText(), "Fertig !");
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(m_frame->RatePane()->isVisible());
    EXPECT_FALSE(m_frame->TimeLeftPane()->isVisible());
    EXPECT_TRUE(m_frame->LockPane(0)->isVisible());

    // A fetch that breaks off takes its progress away as well. With the blocks coming in
    // no time, the bar is painted when the fetch begins and when it ends.
    seen.clear();
    m_module.SetPacing(0, 0);
    m_module.AddFault({ESimFault::BadCheck, "", 9, 0, false});
    QTest::keyClick(m_frame.get(), Qt::Key_F4);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].m_nValue, 0);
    EXPECT_TRUE(seen.back().m_bBar);
    EXPECT_EQ(seen.back().m_nValue, 9);
    EXPECT_FALSE(bar->isVisible());
    // Its last text is too long to stand beside the lock-key panes: it has their room.
    EXPECT_TRUE(ShowsWholeText(*m_frame)) << m_frame->StatusText().toStdString();
}

// At the picture width of 180 a text too long for its pane takes the room of the empty
// lock-key panes; one too long even for that is cut, and its tooltip carries it whole.
TEST_F(MainFrameTest, ATextTooLongForItsPaneGetsTheLockPanesRoomAndATooltip) {
    ShowAndActivate();
    ASSERT_TRUE(m_app.GetImage());
    const auto* pane = m_frame->findChild<QLabel*>(QStringLiteral("statusText"));
    m_frame->SetStatusText("Verbindungsaufbau fehlgeschlagen!!");
    EXPECT_FALSE(ShowsWholeText(*m_frame));
    EXPECT_FALSE(m_frame->LockPane(0)->isVisible());
    EXPECT_EQ(pane->toolTip(), "Verbindungsaufbau fehlgeschlagen!!");
    m_frame->SetStatusText("Fertig !");
    EXPECT_TRUE(m_frame->LockPane(0)->isVisible());
    EXPECT_EQ(pane->toolTip(), "");
}

TEST_F(MainFrameTest, BlocksFasterThanTheRepaintLimitAreAllPaintedByTheEnd) {
    ShowAndActivate();
    // The module answers at once: the line's clock stands still during the whole fetch.
    {
        CViewPaints paints(m_frame->View());
        ASSERT_TRUE(m_app.GetImage());
        EXPECT_EQ(paints.m_nPaints, 1);
        EXPECT_TRUE(QRegion(0, 0, 180, 144).subtracted(paints.m_painted).isEmpty());
    }

    // At 921600 baud a block takes two milliseconds: the picture builds up about 60
    // times a second, and the last rows are there when the fetch ends.
    m_module.SetPacing(921600, 0);
    m_app.m_iBildbreite = 360;
    m_app.m_iBildhoehe = 288;
    QString rate;
    int values = 0, last = -1;
    QObject::connect(m_frame->ProgressBar(), &QProgressBar::valueChanged, [&](int v) {
        ++values;
        last = v;
        if (v >= 288 && rate.isEmpty()) {
            rate = m_frame->RatePane()->isVisible() ? m_frame->RatePane()->text() : "hidden";
            // Beside the figures the block's text still shows whole.
            const QLabel* text = m_frame->findChild<QLabel*>(QStringLiteral("statusText"));
            EXPECT_GE(text->contentsRect().width(),
                      text->fontMetrics().horizontalAdvance(m_frame->StatusText()))
                << m_frame->StatusText().toStdString();
        }
    });
    CViewPaints paints(m_frame->View());
    const uint64_t t0 = m_clock.NowMs();
    ASSERT_TRUE(m_app.GetImage());
    const int limit = static_cast<int>((m_clock.NowMs() - t0) / CMainFrame::kRepaintIntervalMs);
    EXPECT_GT(limit, 50);
    EXPECT_LE(paints.m_nPaints, limit + 2);
    EXPECT_GE(paints.m_nPaints, limit / 2);
    EXPECT_TRUE(QRegion(0, 0, 360, 288).subtracted(paints.m_painted).isEmpty());
    EXPECT_LE(values, limit + 2);
    EXPECT_EQ(last, 576);
    EXPECT_TRUE(rate.endsWith(" B/s")) << rate.toStdString();
}

// The painter alone, on a line that slows down from 1 to 4 ms a block: the bar moves in
// whole percent and is full at the end, and the rate, which changes with every block, is
// read anew only twice a second. (The view's repaints are pinned with whole fetches above.)
TEST(FetchPainterTest, TheBarMovesInWholePercentAndTheRateIsReadTwiceASecond) {
    CImage image;
    CPixlaneDoc doc;
    CPixlaneView view(image, doc);
    QLabel text, rate, left;
    QProgressBar bar;
    CLineSession line;
    CFetchPainter painter(line, view, text, bar, rate, left);
    constexpr int kBlocks = 999;
    bar.setRange(0, kBlocks);
    int values = 0, rates = 0;
    QObject::connect(&bar, &QProgressBar::valueChanged, [&values] { ++values; });
    CVirtualClock clock;
    line.SetClock(&clock);
    CFetchProgress progress;
    progress.Start(kBlocks, clock.GetTickCount());
    painter.Begin();
    QString shown;
    for (int i = 0; i < kBlocks; ++i) {
        clock.Sleep(1 + i / 250);
        progress.AddBlock(100, clock.GetTickCount());
        painter.Progress(progress);
        rates += rate.text() != shown;
        shown = rate.text();
    }
    EXPECT_TRUE(painter.End());
    EXPECT_LE(values, 101);
    EXPECT_EQ(bar.value(), kBlocks);
    EXPECT_LE(rates, clock.NowMs() / CFetchPainter::kFiguresIntervalMs + 2);
    EXPECT_GE(rates, 3);
}

TEST_F(MainFrameTest, ChangedSizeSettingsKeepTheOldImageUntilTheNextFetch) {
    ShowAndActivate();
    ASSERT_TRUE(m_app.GetImage());
    m_app.m_iBildbreite = 360;
    m_app.m_iBildhoehe = 288;
    m_frame->View()->repaint();
    EXPECT_EQ(m_frame->View()->Picture().size(), QSize(180, 144));
}

TEST_F(MainFrameTest, SavingWithoutAnImageSaysSoAndWritesNothing) {
    ShowAndActivate();
    CModalScript answer({});
    QTest::keyClick(m_frame.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(answer.m_texts, QStringList{"Kein Bild vorhanden !"});
    EXPECT_EQ(answer.m_titles, QStringList{"Pixlane"});
}

TEST_F(MainFrameTest, SaveButtonWritesTheFetchedImageThroughTheDialog) {
    ShowAndActivate();
    ASSERT_TRUE(m_app.GetImage());
    const QString path = m_dir.filePath("bild");  // the dialog adds the extension
    QStringList filters;
    {
        CModalScript answer({[&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        }});
        m_frame->ToolAction(ID_SPEICHERN)->trigger();
        EXPECT_TRUE(answer.m_texts.isEmpty());
    }
    EXPECT_EQ(filters, (QStringList{"Bitmap (*.bmp)", "PNG (*.png)", "Alle Dateien (*)"}));
    std::ifstream in((path + ".BMP").toStdString(), std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(bytes, BuildBmpFile(m_app.m_image));
    EXPECT_EQ(bytes.size(), 1078u + 180u * 144u);

    // The PNG type, and a name without an extension.
    CModalScript asPng({[&](QWidget* w) {
        QTest::keyClick(w->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")), Qt::Key_Down);
        static_cast<QFileDialog*>(w)->selectFile(path);
        static_cast<QDialog*>(w)->accept();
    }});
    m_frame->ToolAction(ID_SPEICHERN)->trigger();
    const QImage png(path + ".png", "PNG");
    ASSERT_EQ(png.size(), QSize(180, 144));
    EXPECT_EQ(qGray(png.pixel(17, 99)), m_module.LastPicture().At(17, 99));
}

TEST_F(MainFrameTest, QtsOwnTextsInTheSaveDialogAreGerman) {
    QTranslator translator;
    ASSERT_TRUE(InstallGermanQtTexts(translator));
    ShowAndActivate();
    ASSERT_TRUE(m_app.GetImage());
    QStringList texts;
    {
        CModalScript answer({[&texts](QWidget* w) {
            for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                texts << w->findChild<QLabel*>(QLatin1String(name))->text();
            for (const QAbstractButton* button : w->findChildren<QPushButton*>())
                texts << button->text();
            static_cast<QDialog*>(w)->reject();
        }});
        m_frame->ToolAction(ID_SPEICHERN)->trigger();
    }
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(texts, (QStringList{"Suchen in:", "Datei&name:", "Dateien des Typs:", "S&peichern",
                                  "Abbrechen"}));
}

TEST_F(MainFrameTest, TheAutoSaveDialogStoresItsOwnGroupAndRefusesAPatternThatNamesNothing) {
    const QString folder = m_dir.filePath("bilder");
    CModalScript answer({[&](QWidget* w) {
                             w->findChild<QLineEdit*>("ordner")->setText(folder);
                             w->findChild<QLineEdit*>("muster")->setText("bild-%Q.bmp");
                             w->findChild<QCheckBox*>("ein")->setChecked(true);
                             w->findChild<QPushButton*>("ok")->click();
                         },
                         // Pictures stay inside the folder.
                         [](QWidget* w) {
                             w->findChild<QLineEdit*>("muster")->setText("../k{channel}.png");
                             w->findChild<QPushButton*>("ok")->click();
                         },
                         [](QWidget* w) {
                             w->findChild<QLineEdit*>("muster")->setText("k{channel}-%H%M.png");
                             w->findChild<QPushButton*>("ok")->click();
                         }});
    m_frame->MenuAction(ID_AUTO_SPEICHERN)->trigger();
    EXPECT_TRUE(answer.Done());
    ASSERT_EQ(answer.m_texts.size(), 2);
    EXPECT_TRUE(answer.m_texts[0].startsWith(QString::fromUtf8("Namensmuster ungültig")))
        << answer.m_texts[0].toStdString();
    EXPECT_NE(answer.m_texts[1].indexOf("in ihrem Ordner"), -1) << answer.m_texts[1].toStdString();
    EXPECT_TRUE(m_app.m_bAutoSave);
    EXPECT_EQ(m_app.m_sAutoSaveFolder, folder.toStdString());
    EXPECT_EQ(m_app.m_sAutoSavePattern, "k{channel}-%H%M.png");
    // Stored at once, in a group of its own; the basic settings wait for the exit.
    QSettings stored(m_dir.filePath("pixlane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_bAutoSave").toInt(), 1);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSaveFolder").toString(), folder);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSavePattern").toString(),
              "k{channel}-%H%M.png");
    stored.beginGroup("Pixlane");
    EXPECT_EQ(stored.childGroups(), QStringList{"AutoSave"});
}

TEST_F(MainFrameTest, CancelledSaveDialogWritesNothing) {
    ShowAndActivate();
    ASSERT_TRUE(m_app.GetImage());
    CModalScript answer({[](QWidget* w) { static_cast<QDialog*>(w)->reject(); }});
    m_frame->MenuAction(ID_SPEICHERN)->trigger();
    EXPECT_TRUE(answer.m_texts.isEmpty());
    const QStringList images{"*.bmp", "*.BMP"};
    EXPECT_TRUE(QDir(m_dir.path()).entryList(images, QDir::Files).isEmpty());
    EXPECT_TRUE(QDir::current().entryList(images, QDir::Files).isEmpty());
}

TEST_F(MainFrameTest, AboutBoxAndExit) {
    ShowAndActivate();
    QStringList titles, texts;
    CModalScript answer({[&](QWidget* w) {
        titles << w->windowTitle();
        for (QLabel* label : w->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                texts << label->text();
        w->close();
    }});
    m_frame->MenuAction(ID_APP_ABOUT)->trigger();
    EXPECT_EQ(texts, QStringList{"Pixlane Version 2.31"});
    EXPECT_EQ(titles, QStringList{QString::fromUtf8("Info über Pixlane")});
    m_frame->MenuAction(ID_APP_EXIT)->trigger();
    EXPECT_FALSE(m_frame->isVisible());
}

TEST_F(MainFrameTest, PortToggleShowsItsTextsInTheStatusBar) {
    m_frame->MenuAction(ID_COMPORT)->trigger();
    EXPECT_EQ(m_frame->StatusText(), "Port ist geschlossen ! ");
    EXPECT_FALSE(m_app.m_bPortOpen);
    m_frame->MenuAction(ID_COMPORT)->trigger();
    EXPECT_EQ(m_frame->StatusText(), " Port ist offen ! ");
    EXPECT_TRUE(m_app.m_bPortOpen);
}

TEST_F(MainFrameTest, EscapeEndsALoopAfterItsCycle) {
    ShowAndActivate();
    CUserEventSink sink;
    QCoreApplication::postEvent(&sink, new QEvent(QEvent::User));
    QCoreApplication::postEvent(m_frame.get(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QTimer::singleShot(0, [this] { m_frame->SetStatusText("dazwischen"); });
    m_frame->MenuAction(ID_LOOP_BILD)->trigger();
    int selections = 0, fetches = 0;
    for (const std::string& f : m_module.Frames()) {
        selections += f == "G,01#";
        fetches += f == "I,00000,B4,0090,3#";
    }
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(fetches, 1);
    // Other events ran between the cycles; the program's own posted events were dropped.
    EXPECT_EQ(m_frame->StatusText(), "dazwischen");
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.m_nSeen, 0);
    EXPECT_TRUE(m_frame->isVisible());
}

// What a cycle lets go of later (as Qt's own layout animations do, fetch by fetch) is
// deleted before the next cycle: a loop that runs for weeks holds no more than one cycle.
TEST_F(MainFrameTest, ALoopDeletesWhatEachCycleLetGo) {
    ShowAndActivate();
    std::vector<QPointer<QObject>> letGo;
    int stillThere = 0;
    m_module.m_onFrame = [&](const std::string& frame, bool) {
        if (frame != "I,00000,B4,0090,3#")
            return;
        for (const QPointer<QObject>& p : letGo)
            stillThere += !p.isNull();
        letGo.emplace_back(new QObject)->deleteLater();
        if (letGo.size() == 3)
            QCoreApplication::postEvent(
                m_frame.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    m_frame->AccelAction(ID_LOOP_BILD)->trigger();
    m_module.m_onFrame = nullptr;
    EXPECT_EQ(letGo.size(), 3u);
    EXPECT_EQ(stillThere, 0);
}

TEST_F(MainFrameTest, EscapeInADialogOpenedDuringALoopClosesOnlyTheDialog) {
    ShowAndActivate();
    const auto fetches = [this] {
        int n = 0;
        for (const std::string& f : m_module.Frames())
            n += f == "I,00000,B4,0090,3#";
        return n;
    };
    // The time-stamp dialog comes up between two cycles and gets an Escape of its own.
    bool closedByEscape = false;
    CModalScript answer({[&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Escape);
        closedByEscape = !w->isVisible();
    }});
    QTimer::singleShot(0, m_frame.get(),
                       [this] { m_frame->AccelAction(ID_ZEITSTEMPEL)->trigger(); });
    // Once a second cycle has fetched, Escape on the window ends the loop.
    QTimer stopper;
    bool stopSent = false;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (stopSent || QApplication::activeModalWidget() != nullptr || fetches() < 2)
            return;
        stopSent = true;
        QCoreApplication::postEvent(
            m_frame.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    stopper.start(0);
    m_frame->AccelAction(ID_LOOP_BILD)->trigger();
    EXPECT_TRUE(closedByEscape);
    EXPECT_TRUE(stopSent);
    EXPECT_GE(fetches(), 2);
    EXPECT_LE(fetches(), 3);
}

TEST_F(MainFrameTest, ClosingTheWindowEndsARunningLoop) {
    ShowAndActivate();
    QTimer::singleShot(0, m_frame.get(), [this] { m_frame->close(); });
    m_frame->AccelAction(ID_LOOP_NIBBLE2)->trigger();
    EXPECT_FALSE(m_frame->isVisible());
    int fetches = 0;
    for (const std::string& f : m_module.Frames())
        fetches += f == "I,00000,B4,0048,2#";
    EXPECT_EQ(fetches, 1);
}

// A signal to end (a session logging out) closes the window as "Beenden" does: a loop
// after its cycle, and first a message box that nobody is there to answer.
TEST_F(MainFrameTest, ASignalToEndClosesTheWindowAfterTheLoopAndAnOpenMessageBox) {
    ShowAndActivate();
    CMainFrame* window = m_frame.get();
    const CCloseSignals closing([&window] { window->CloseFromOutside(); });
    std::raise(SIGTERM);  // while the loop's first picture arrives
    m_frame->AccelAction(ID_LOOP_NIBBLE2)->trigger();
    EXPECT_FALSE(m_frame->isVisible());
    const std::vector<std::string> frames = m_module.Frames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "I,00000,B4,0048,2#"), 1);
    CMainFrame again(m_app);
    again.show();
    window = &again;
    QTimer::singleShot(0, &again, [] { std::raise(SIGHUP); });
    again.MessageBox("Verbindung getrennt !");  // returns once the box is closed
    EXPECT_FALSE(again.isVisible());
}

TEST_F(MainFrameTest, CaptureTimerArmsTogglesAndStops) {
    m_app.m_bTimer = false;
    m_frame->StartCaptureTimer(10);
    EXPECT_FALSE(m_frame->CaptureTimer().isActive());

    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
    EXPECT_EQ(m_frame->CaptureTimer().interval(), 600000);
    EXPECT_TRUE(m_app.m_bTimer);

    m_frame->ToggleCaptureTimer(5);
    EXPECT_FALSE(m_frame->CaptureTimer().isActive());
    EXPECT_FALSE(m_app.m_bTimer);
    m_frame->ToggleCaptureTimer(5);
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
    EXPECT_EQ(m_frame->CaptureTimer().interval(), 300000);
    EXPECT_TRUE(m_app.m_bTimer);

    // Hanging up with F1 stops the timer but leaves the flag.
    m_app.m_iLokal = 1;
    m_frame->AccelAction(ID_VERBINDUNG)->trigger();
    EXPECT_FALSE(m_frame->CaptureTimer().isActive());
    EXPECT_TRUE(m_app.m_bTimer);

    // An interval beyond what the timer can hold is cut, not wrapped round.
    m_app.m_bTimer = false;
    m_frame->ToggleCaptureTimer(600000);
    EXPECT_EQ(m_frame->CaptureTimer().interval(), INT_MAX);
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
}

TEST_F(MainFrameTest, ACaptureIntervalOfNoTimeDoesNotArmTheTimer) {
    for (int minutes : {0, -5}) {
        m_app.m_bTimer = true;
        m_frame->StartCaptureTimer(minutes);
        EXPECT_FALSE(m_frame->CaptureTimer().isActive()) << minutes;
        EXPECT_EQ(m_frame->StatusText(), "Timer-Intervall ungültig !");
        m_app.m_bTimer = false;
        m_frame->ToggleCaptureTimer(minutes);
        EXPECT_FALSE(m_frame->CaptureTimer().isActive()) << minutes;
        EXPECT_TRUE(m_app.m_bTimer);
    }
}

// The module behind the simulated modem, so that a capture tick can dial.
class CaptureTimerTest : public CWindowFixture {
  protected:
    void SetUp() override {
        CWindowFixture::SetUp();
        m_factory.Attach(1, &m_modem);
        m_app.OnPortToggle();  // closed, and opened again with the modem in front
        m_app.OnPortToggle();
        ASSERT_TRUE(m_app.m_bPortOpen);
        Frame();
    }
    // What the event loop does when the timer's time has come.
    void Fire() {
        const QTimer& timer = m_frame->CaptureTimer();
        ASSERT_TRUE(timer.isActive());
        QTimerEvent due(timer.timerId());
        QCoreApplication::sendEvent(const_cast<QTimer*>(&timer), &due);
    }
    CModemSim m_modem{m_module};
};

TEST_F(CaptureTimerTest, ATickWithAutoSaveKeepsThePictureAndItsJournalLine) {
    const QString folder = m_dir.filePath("bilder");
    m_app.m_bAutoSave = true;
    m_app.m_sAutoSaveFolder = folder.toStdString();
    m_app.m_sAutoSavePattern = "bild-k{channel}.bmp";
    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    CModalScript boxes({});
    Fire();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              (QStringList{"bild-k1.bmp", "pixlane-journal.jsonl"}));
    QFile picture(folder + "/bild-k1.bmp");
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    const QByteArray bytes = picture.readAll();
    EXPECT_TRUE(std::vector<uint8_t>(bytes.begin(), bytes.end()) == BuildBmpFile(m_app.m_image));
    QFile journal(folder + "/pixlane-journal.jsonl");
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = journal.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);  // the picture's line, the round's, the empty rest
    const QJsonObject line = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(line["event"].toString(), "picture");
    EXPECT_EQ(line["result"].toString(), "ok");
    EXPECT_EQ(line["channel"].toInt(), 1);
    EXPECT_EQ(line["file"].toString(), folder + "/bild-k1.bmp");
    const QJsonObject round = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(round["event"].toString() + round["result"].toString(), "roundok");
    // The window's pace, one character per 250 ms.
    EXPECT_DOUBLE_EQ(round["dial_seconds"].toDouble(), 14.75);
    // The window's tick keeps its own last text.
    EXPECT_EQ(m_frame->StatusText(), "Verbindung getrennt !");

    // A folder that takes nothing: the status bar says so (whole, at the picture's
    // width), no message box waits, and the timer goes on.
    m_frame->show();
    QFile blocker(m_dir.filePath("datei"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    m_app.m_sAutoSaveFolder = (m_dir.filePath("datei") + "/bilder").toStdString();
    Fire();
    EXPECT_EQ(m_frame->StatusText(), "Fehler beim Speichern !");
    EXPECT_TRUE(ShowsWholeText(*m_frame));
    EXPECT_TRUE(boxes.m_texts.isEmpty()) << boxes.m_texts.join(", ").toStdString();
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
}

TEST_F(CaptureTimerTest, TheAutoSaveDialogsKeepAndFreeSpacePruneTheFolderBeforeATicksSave) {
    const QString folder = m_dir.filePath("bilder");
    ASSERT_TRUE(QDir().mkpath(folder));
    // Two pictures an earlier auto-save journalled, one older than the hour kept, and a
    // file of someone else's.
    const QDateTime now = m_app.AutoKeeper().Now();
    for (const auto& [name, age] : {std::pair{"bild-k7.bmp", 3 * 3600}, {"bild-k8.bmp", 600}}) {
        QFile picture(folder + "/" + name);
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("BM");
        picture.flush();
        picture.setFileTime(now.addSecs(-age), QFileDevice::FileModificationTime);
        CCaptureEvent saved;
        saved.m_time = now.addSecs(-age);
        saved.m_sEvent = "picture";
        saved.m_iChannel = 1;
        saved.m_sResult = "ok";
        saved.m_sFile = picture.fileName().toStdString();
        std::string error;
        ASSERT_TRUE(AppendJournal((folder + "/pixlane-journal.jsonl").toStdString(), saved, &error))
            << error;
    }
    QFile(folder + "/fremd.bmp").open(QIODevice::WriteOnly);
    // Too little is free while the newer picture is there.
    m_app.AutoKeeper().m_retention.m_fnFreeBytes = [&](const std::string&) {
        return QFile::exists(folder + "/bild-k8.bmp") ? uint64_t{1} << 30 : uint64_t{3} << 30;
    };
    const auto fill = [&](const char* keep, const char* minFree,
                          const char* pattern = "bild-k{channel}.bmp") {
        return [=](QWidget* w) {
            w->findChild<QLineEdit*>("ordner")->setText(folder);
            w->findChild<QLineEdit*>("muster")->setText(pattern);
            w->findChild<QLineEdit*>("behalten")->setText(keep);
            w->findChild<QLineEdit*>("frei")->setText(minFree);
            w->findChild<QCheckBox*>("ein")->setChecked(true);
            w->findChild<QPushButton*>("ok")->click();
        };
    };
    // Names that are no pictures' could not be told apart from other files.
    CModalScript answer({fill("2 Tage", "2G"), fill("1h", "viel"),
                         fill("1h", "2G", "bild-k{channel}"), fill("1h", "2G")});
    m_frame->MenuAction(ID_AUTO_SPEICHERN)->trigger();
    EXPECT_TRUE(answer.Done());
    ASSERT_EQ(answer.m_texts.size(), 3);
    EXPECT_TRUE(answer.m_texts[2].startsWith(
        QString::fromUtf8("Bilder behalten, mindestens frei: Das Namensmuster \"bild-k{channel}\" "
                          "gibt keine Namen auf .bmp oder .png")))
        << answer.m_texts[2].toStdString();
    EXPECT_TRUE(answer.m_texts[0].startsWith("Bilder behalten: \"2 Tage\" ist keine Dauer"))
        << answer.m_texts[0].toStdString();
    EXPECT_TRUE(answer.m_texts[1].startsWith(
        QString::fromUtf8("Mindestens frei: \"viel\" ist keine Größe")))
        << answer.m_texts[1].toStdString();
    QSettings stored(m_dir.filePath("pixlane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSaveKeep").toString(), "1h");
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSaveMinFree").toString(), "2G");

    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    CModalScript boxes({});
    Fire();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              (QStringList{"bild-k1.bmp", "fremd.bmp", "pixlane-journal.jsonl"}));
    QFile journal(folder + "/pixlane-journal.jsonl");
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    // Each removal says why, in the window's words.
    const QString lines = QString::fromUtf8(journal.readAll());
    EXPECT_TRUE(lines.contains(QString::fromUtf8("gelöscht: älter als die Aufbewahrungsdauer")));
    EXPECT_TRUE(lines.contains(QString::fromUtf8("gelöscht: weniger frei als verlangt")));
}

// "Bilder behalten" takes tiers as --keep does: a slot's first picture stays, the others
// go with their rule in the journal; tiers that could drop a kept picture are refused.
TEST_F(CaptureTimerTest, TheAutoSaveDialogsKeepTakesTiers) {
    const QString folder = m_dir.filePath("bilder");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QDateTime now = m_app.AutoKeeper().Now();
    // Two pictures of one UTC day three days ago, and one of ten minutes ago.
    const QDateTime day(now.toUTC().date().addDays(-3), QTime(1, 0), Qt::UTC);
    const std::pair<const char*, QDateTime> pictures[] = {{"bild-k5.bmp", day},
                                                          {"bild-k6.bmp", day.addSecs(3600)},
                                                          {"bild-k7.bmp", now.addSecs(-600)}};
    for (const auto& [name, when] : pictures) {
        QFile picture(folder + "/" + name);
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("BM");
        picture.flush();
        picture.setFileTime(when, QFileDevice::FileModificationTime);
        CCaptureEvent saved;
        saved.m_time = when;
        saved.m_sEvent = "picture";
        saved.m_iChannel = 1;
        saved.m_sResult = "ok";
        saved.m_sFile = picture.fileName().toStdString();
        std::string error;
        ASSERT_TRUE(AppendJournal((folder + "/pixlane-journal.jsonl").toStdString(), saved, &error))
            << error;
    }
    const auto fill = [&](const char* keep) {
        return [=](QWidget* w) {
            w->findChild<QLineEdit*>("ordner")->setText(folder);
            w->findChild<QLineEdit*>("muster")->setText("bild-k{channel}.bmp");
            w->findChild<QLineEdit*>("behalten")->setText(keep);
            w->findChild<QCheckBox*>("ein")->setChecked(true);
            w->findChild<QPushButton*>("ok")->click();
        };
    };
    CModalScript answer({fill("1h:all,30d:7h,1y:1d"), fill("1h:all,30d:1d")});
    m_frame->MenuAction(ID_AUTO_SPEICHERN)->trigger();
    EXPECT_TRUE(answer.Done());
    ASSERT_EQ(answer.m_texts.size(), 1);
    EXPECT_TRUE(answer.m_texts[0].startsWith("Bilder behalten: \"1h:all,30d:7h,1y:1d\""))
        << answer.m_texts[0].toStdString();
    QSettings stored(m_dir.filePath("pixlane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSaveKeep").toString(), "1h:all,30d:1d");

    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    CModalScript boxes({});
    Fire();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              (QStringList{"bild-k1.bmp", "bild-k5.bmp", "bild-k7.bmp", "pixlane-journal.jsonl"}));
    QFile journal(folder + "/pixlane-journal.jsonl");
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(journal.readAll())
                    .contains(QString::fromUtf8(
                        "gelöscht: Regel 30d:1d: nicht das erste Bild seines Abschnitts von 1d")));
}

TEST_F(CaptureTimerTest, ATickCapturesAndSetsTheTimerAgainWithItsInterval) {
    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    for (int tick = 1; tick <= 2; ++tick) {
        Fire();
        int pictures = 0;
        for (const std::string& f : m_module.Frames())
            pictures += f == "I,00000,B4,0090,3#";
        EXPECT_EQ(pictures, tick);
        EXPECT_TRUE(m_frame->CaptureTimer().isActive());
        EXPECT_EQ(m_frame->CaptureTimer().interval(), 600000);
        EXPECT_TRUE(m_app.m_bTimer);
        EXPECT_EQ(m_frame->StatusText(), "Verbindung getrennt !");
    }
}

TEST_F(CaptureTimerTest, TheAutoSaveDialogsWindowKeepsTheTickFromDiallingOutsideIt) {
    const auto fill = [&](const char* between, const char* daylight) {
        return [=](QWidget* w) {
            w->findChild<QLineEdit*>("zwischen")->setText(between);
            w->findChild<QLineEdit*>("tageslicht")->setText(daylight);
            w->findChild<QPushButton*>("ok")->click();
        };
    };
    CModalScript answer({fill("22-6", ""), fill("", "48,200"), fill("22:00-06:00", "48,11"),
                         fill(" 22:00-06:00 ", "")});
    m_frame->MenuAction(ID_AUTO_SPEICHERN)->trigger();
    EXPECT_TRUE(answer.Done());
    ASSERT_EQ(answer.m_texts.size(), 3);
    EXPECT_TRUE(answer.m_texts[0].startsWith(QString::fromUtf8("Nur zwischen: \"22-6\" ist kein")))
        << answer.m_texts[0].toStdString();
    EXPECT_TRUE(answer.m_texts[1].startsWith(QString::fromUtf8("Nur bei Tageslicht: \"48,200\"")))
        << answer.m_texts[1].toStdString();
    EXPECT_TRUE(answer.m_texts[2].contains(QString::fromUtf8("nicht beides")));
    QSettings stored(m_dir.filePath("pixlane.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Pixlane/AutoSave/m_sAutoSaveBetween").toString(), "22:00-06:00");

    // Noon: the tick dials nothing, says so, and sets the timer again; 23:00: it captures.
    QDateTime now(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
    m_app.AutoKeeper().m_fnNow = [&] { return now; };
    m_app.m_bTimer = true;
    m_frame->StartCaptureTimer(10);
    CModalScript boxes({});
    Fire();
    EXPECT_TRUE(m_module.Frames().empty());
    EXPECT_EQ(m_frame->StatusText(),
              QString::fromUtf8("Außerhalb des Zeitfensters 22:00-06:00, nächste Aufnahme ab "
                                "2026-12-10 22:00"));
    EXPECT_TRUE(m_frame->CaptureTimer().isActive());
    now = QDateTime(QDate(2026, 12, 10), QTime(23, 0), Qt::UTC);
    Fire();
    const std::vector<std::string> frames = m_module.Frames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "I,00000,B4,0090,3#"), 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
