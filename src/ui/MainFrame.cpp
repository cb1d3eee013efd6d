#include "ui/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "app/PixlaneApp.h"
#include "app/Progress.h"
#include "res/ResInit.h"
#include "ui/CommandTable.h"
#include "ui/PixlaneDoc.h"
#include "ui/PixlaneView.h"

// The status bar's text pane: a text longer than the pane ends in "…", so that a cut
// shows instead of passing for the whole text ("Zeile 10" for "Zeile 100 ..."), and
// the pane's tooltip shows it whole.
class CTextPane : public QLabel {
  public:
    using QLabel::QLabel;

    bool Fits() const { return fontMetrics().horizontalAdvance(text()) <= contentsRect().width(); }
    // Once the pane has its text and its width.
    void UpdateTip() { setToolTip(Fits() ? QString() : text()); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect r = contentsRect();
        style()->drawItemText(&painter, r, static_cast<int>(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, r.width()),
                              foregroundRole());
    }
};

namespace {
const QString kIdle = QStringLiteral("Bereit");

// While a loop command lets events run: Escape is recorded and swallowed, events of the
// program's own types are dropped, everything else runs. A dialog, message box or menu
// that a command run inside the loop opens has its own event loop: while it is up, its
// events are its own, its Escape included.
class CLoopFilter : public QObject {
  public:
    // owner: the modal window the loop runs in (null for the main window).
    explicit CLoopFilter(QWidget* owner) : m_pOwner(owner) {}
    bool m_bStop = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (QApplication::activePopupWidget() != nullptr ||
            QApplication::activeModalWidget() != m_pOwner)
            return QObject::eventFilter(watched, event);
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                    // The key's press asks for the stop; its release may follow the press
                    // that closed a dialog, and asks for nothing.
                    if (event->type() != QEvent::KeyRelease)
                        m_bStop = true;
                    return true;
                }
                break;
            default:
                if (event->type() >= QEvent::User && event->type() <= QEvent::MaxUser)
                    return true;
                break;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QPointer<QWidget> m_pOwner;
};
// The status-bar prompt of a command, as its menu item carries it; empty when it has none.
QString PromptOf(int id) {
    for (const CMenuEntry& e : MenuTable())
        if (e.m_eKind == CMenuEntry::Item && e.m_nId == id)
            return QString::fromUtf8(e.m_pPrompt);
    return {};
}
}  // namespace

CMainFrame::CMainFrame(CPixlaneApp& app, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_app(app),
      m_captureTimer(app, *this) {
    InitPixlaneResources();
    setWindowIcon(PixlaneIcon());
    m_pDoc = new CPixlaneDoc(this);
    connect(m_pDoc, &CPixlaneDoc::TitleChanged, this, [this] { UpdateCaption(); });
    m_pView = new CPixlaneView(app.m_image, *m_pDoc, this);
    setCentralWidget(m_pView);
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    m_pPainter = std::make_unique<CFetchPainter>(app.Line(), *m_pView, *m_pText, *m_pProgress,
                                                 *m_pRate, *m_pTimeLeft);
    UpdateCaption();
    move(kInitialX, kInitialY);
    setFixedSize(kInitialWidth, kInitialHeight);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::UpdateCaption() {
    setWindowTitle(QStringLiteral("Pixlane - ") +
                   (m_sSite.isEmpty()
                        ? QString()
                        : QStringLiteral("Standort ") + m_sSite + QStringLiteral(" - ")) +
                   m_pDoc->Title());
}

void CMainFrame::BuildMenus() {
    std::vector<QMenu*> stack;
    for (const CMenuEntry& e : MenuTable()) {
        switch (e.m_eKind) {
            case CMenuEntry::Popup: {
                QMenu* menu = stack.empty() ? menuBar()->addMenu(QString::fromUtf8(e.m_pText))
                                            : stack.back()->addMenu(QString::fromUtf8(e.m_pText));
                // Closing a menu leaves the idle text, whatever was shown before.
                connect(menu, &QMenu::aboutToHide, this, [this] { ShowText(kIdle); });
                stack.push_back(menu);
                break;
            }
            case CMenuEntry::EndPopup:
                stack.pop_back();
                break;
            case CMenuEntry::Item: {
                QAction* action = stack.back()->addAction(QString::fromUtf8(e.m_pText));
                action->setData(e.m_nId);
                action->setStatusTip(QString::fromUtf8(e.m_pPrompt));
                const int id = e.m_nId;
                connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
                m_menuActions[id] = action;
                break;
            }
        }
    }
    // The keys live in an accelerator table of their own, so the menu texts stay as
    // they are.
    for (const CAccelEntry& a : AccelTable()) {
        auto* action = new QAction(this);
        action->setShortcut(a.m_key);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setData(a.m_nId);
        const int id = a.m_nId;
        connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
        addAction(action);
        m_accelActions[id] = action;
    }
}

void CMainFrame::BuildToolBar() {
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setObjectName(QStringLiteral("toolbar"));
    m_pToolBar->setMovable(false);
    m_pToolBar->setFloatable(false);
    m_pToolBar->setIconSize(QSize(18, 16));
    m_pToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (const CToolEntry& t : ToolTable()) {
        if (t.m_nId == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* action =
            m_pToolBar->addAction(QIcon(QString::fromUtf8(t.m_pIcon)), QString::fromUtf8(t.m_pTip));
        action->setToolTip(QString::fromUtf8(t.m_pTip));
        action->setStatusTip(PromptOf(t.m_nId));
        action->setData(t.m_nId);
        const int id = t.m_nId;
        connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
        m_toolActions[id] = action;
        // Hovering a button shows its prompt, also an empty one (as "Bereit").
        m_pToolBar->widgetForAction(action)->installEventFilter(this);
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        const auto* button = qobject_cast<QToolButton*>(watched);
        if (button != nullptr && button->defaultAction() != nullptr) {
            const QString prompt =
                event->type() == QEvent::Enter ? button->defaultAction()->statusTip() : QString();
            ShowText(prompt.isEmpty() ? kIdle : prompt);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    m_pText = new CTextPane(kIdle, bar);
    m_pText->setObjectName(QStringLiteral("statusText"));
    // The text pane takes what the other panes leave.
    m_pText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_pText, 1);
    // Qt cannot read the lock-key states portably; the panes stay empty.
    const char* names[3] = {"capsPane", "numPane", "scrollPane"};
    for (int i = 0; i < 3; ++i) {
        m_pLockPanes[i] = new QLabel(bar);
        m_pLockPanes[i]->setObjectName(QString::fromLatin1(names[i]));
        m_pLockPanes[i]->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("NUM")) +
                                         6);
        m_pLockPanes[i]->setFrameShape(QFrame::Panel);
        m_pLockPanes[i]->setFrameShadow(QFrame::Sunken);
    }
    // The progress of a fetch; shown only while one runs.
    m_pProgress = new QProgressBar(bar);
    m_pProgress->setObjectName(QStringLiteral("progressBar"));
    m_pProgress->setFormat(QStringLiteral("%p %"));
    m_pRate = new QLabel(bar);
    m_pRate->setObjectName(QStringLiteral("ratePane"));
    m_pRate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pTimeLeft = new QLabel(bar);
    m_pTimeLeft->setObjectName(QStringLiteral("timeLeftPane"));
    // The figures are set a little smaller than the status text, so that at the picture
    // width of 360 the whole text of a block still fits beside them. They are no taller
    // than the panes whose room they take: the status bar keeps the height it has without
    // them (even a hidden pane counts for it), and so the view keeps the picture's
    // height, to which a fetch sizes the window.
    QFont figures = font();
    figures.setPointSizeF(figures.pointSizeF() * 0.9);
    const QFontMetrics small(figures);
    const int paneHeight =
        std::max(m_pText->sizeHint().height(), m_pLockPanes[0]->sizeHint().height());
    for (QWidget* w : {static_cast<QWidget*>(m_pProgress), static_cast<QWidget*>(m_pRate),
                       static_cast<QWidget*>(m_pTimeLeft)}) {
        w->setFont(figures);
        w->setMaximumHeight(paneHeight);
        bar->addWidget(w);
        w->hide();
    }
    m_pProgress->setFixedWidth(small.horizontalAdvance(QStringLiteral("100 %")) + 8);
    m_pRate->setMinimumWidth(small.horizontalAdvance(QStringLiteral("00.000 B/s")));
    m_pTimeLeft->setMinimumWidth(small.horizontalAdvance(QStringLiteral("noch 0:00")));
    for (QLabel* pane : m_pLockPanes)
        bar->addPermanentWidget(pane);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // Browsing menus and buttons shows the item's prompt, or the idle text.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        ShowText(tip.isEmpty() ? kIdle : tip);
        return true;
    }
    return QMainWindow::event(event);
}

QString CMainFrame::StatusText() const {
    return m_pText->text();
}

QAction* CMainFrame::MenuAction(int id) const {
    auto it = m_menuActions.find(id);
    return it == m_menuActions.end() ? nullptr : it->second;
}

QAction* CMainFrame::AccelAction(int id) const {
    auto it = m_accelActions.find(id);
    return it == m_accelActions.end() ? nullptr : it->second;
}

QAction* CMainFrame::ToolAction(int id) const {
    auto it = m_toolActions.find(id);
    return it == m_toolActions.end() ? nullptr : it->second;
}

void CMainFrame::Dispatch(int id) {
    m_app.OnCommand(id);
}

void CMainFrame::SetStatusText(const std::string& text) {
    if (m_pPainter->IsFetching()) {
        m_pText->setText(QString::fromStdString(text));
        TextPane()->UpdateTip();
        // Painted with the progress, between the blocks.
        m_pPainter->TextChanged();
        return;
    }
    const bool moved = ShowText(QString::fromStdString(text));
    // Show it now: while a fetch or a dial runs no events are processed.
    if (moved && statusBar()->isVisible())
        statusBar()->repaint();
    else if (m_pText->isVisible())
        m_pText->repaint();
}

bool CMainFrame::ShowText(const QString& text) {
    m_pText->setText(text);
    // During a fetch its progress has the room of the lock-key panes.
    const bool moved = !m_pPainter->IsFetching() && GiveRoomToText();
    TextPane()->UpdateTip();
    return moved;
}

CTextPane* CMainFrame::TextPane() const {
    return static_cast<CTextPane*>(m_pText);
}

bool CMainFrame::GiveRoomToText() {
    // The lock-key panes stay empty: a text that does not fit beside them gets their room
    // until one comes that does.
    QStatusBar* bar = statusBar();
    const auto layOut = [bar] {
        if (bar->layout() != nullptr)
            bar->layout()->activate();
    };
    const bool wereHidden = m_pLockPanes[0]->isHidden();
    if (wereHidden) {
        SetLockPanesShown(true);
        layOut();
    }
    const bool fits = TextPane()->Fits();
    if (!fits) {
        SetLockPanesShown(false);
        layOut();
    }
    return wereHidden == fits;
}

void CMainFrame::SetLockPanesShown(bool on) {
    for (QLabel* pane : m_pLockPanes)
        pane->setVisible(on);
}

void CMainFrame::MessageBox(const std::string& text) {
    QMessageBox::warning(this, QStringLiteral("Pixlane"), QString::fromStdString(text));
}

CScreenImage* CMainFrame::ScreenImage(int width, int height) {
    return m_pView->BeginDrawing(width, height);
}

void CMainFrame::RepaintRows(int first, int last) {
    m_pPainter->RepaintRows(first, last);
}

void CMainFrame::ShowProgress(const CFetchProgress& progress) {
    // The status bar is laid out for the fetch here; the painter paints what it changes.
    if (!m_pPainter->IsFetching()) {
        m_pPainter->Begin();
        m_pProgress->setRange(0, std::max(progress.BlocksExpected(), 1));
        ShowProgressPanes(true, progress.BlocksExpected());
        m_pProgress->setValue(0);
        m_pRate->clear();
        m_pTimeLeft->clear();
    }
    m_pPainter->Progress(progress);
}

void CMainFrame::EndProgress() {
    if (!m_pPainter->End())
        return;
    ShowProgressPanes(false, 0);
    // The next fetch starts from an empty bar.
    m_pProgress->reset();
}

void CMainFrame::ShowProgressPanes(bool on, int blocks) {
    m_pProgress->setVisible(on);
    m_pRate->setVisible(on);
    m_pTimeLeft->setVisible(on);
    // The lock-key panes stay empty; while a fetch runs its progress gets their room.
    SetLockPanesShown(!on);
    // No events run during a fetch: lay the bar out and paint it now.
    QStatusBar* bar = statusBar();
    if (bar->layout() != nullptr)
        bar->layout()->activate();
    // The rate is shown only where the whole text of the fetch's last block still fits
    // beside it; a window as narrow as the small picture shows the bar and the time left,
    // and the text pane keeps the start of its text.
    const QString last = QStringLiteral("Zeile %1 wird empfangen ...").arg(std::max(blocks - 1, 0));
    if (on && m_pText->contentsRect().width() < m_pText->fontMetrics().horizontalAdvance(last)) {
        m_pRate->hide();
        if (bar->layout() != nullptr)
            bar->layout()->activate();
    }
    // After the fetch, its last text may need the room of the lock-key panes.
    if (!on)
        GiveRoomToText();
    TextPane()->UpdateTip();
    if (bar->isVisible())
        bar->repaint();
}

void CMainFrame::SetImageSize(int height, int width) {
    m_pView->SetImageSize(height, width);
}

void CMainFrame::ResizeForImage(int width, int height) {
    // The view gets exactly the image's size; the bars keep theirs. The position stays.
    const int menuHeight = menuBar()->heightForWidth(width);
    const int barsHeight = (menuHeight > 0 ? menuHeight : menuBar()->sizeHint().height()) +
                           m_pToolBar->sizeHint().height() + statusBar()->sizeHint().height();
    setFixedSize(width, height + barsHeight);
}

std::optional<std::string> CMainFrame::AskSaveFileName(const std::string& initial) {
    QFileDialog dialog(this, QStringLiteral("Speichern unter"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString png = QStringLiteral("PNG (*.png)");
    dialog.setNameFilters(
        {QStringLiteral("Bitmap (*.bmp)"), png, QStringLiteral("Alle Dateien (*)")});
    // A name without an extension gets that of the type chosen; the writer takes the type
    // from the name.
    dialog.setDefaultSuffix(QStringLiteral("BMP"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, png](const QString& filter) {
        dialog.setDefaultSuffix(filter == png ? QStringLiteral("png") : QStringLiteral("BMP"));
    });
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(QString::fromStdString(initial));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void CMainFrame::ImageChanged() {
    m_pView->EndDrawing();
}

void CMainFrame::CloseMainWindow() {
    close();
}

void CMainFrame::CloseFromOutside() {
    // Nobody may be there to answer a dialog: it goes, its command ends, and so does a
    // loop after its cycle.
    for (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this;) {
        modal->close();
        QWidget* next = QApplication::activeModalWidget();
        if (next == modal)
            break;  // it would not close
        modal = next;
    }
    close();
}

bool CMainFrame::PumpEvents() {
    CLoopFilter filter(QApplication::activeModalWidget());
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // What the cycle let go of later (Qt's layout animations, a dozen with every fetch) is
    // deleted only when the event loop that was running when it was let go gets control
    // back, which a loop command holds for as long as it runs: it is deleted here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qApp->removeEventFilter(&filter);
    return filter.m_bStop || m_bClosing;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A loop that is running ends after its cycle; the program ends after it.
    m_bClosing = true;
    QMainWindow::closeEvent(event);
}

void CMainFrame::StopCaptureTimer() {
    m_captureTimer.Stop();
}

void CMainFrame::RearmCaptureTimer() {
    m_captureTimer.Rearm();
}
