#include "ui/FetchPainter.h"

#include <QLabel>
#include <QProgressBar>
#include <QString>
#include <algorithm>
#include <utility>

#include "link/LineSession.h"
#include "ui/PixlaneView.h"

CFetchPainter::CFetchPainter(CLineSession& line, CPixlaneView& view, QLabel& text,
                             QProgressBar& bar, QLabel& rate, QLabel& timeLeft)
    : m_line(line), m_view(view), m_text(text), m_bar(bar), m_rate(rate), m_timeLeft(timeLeft) {}

void CFetchPainter::Begin() {
    m_bFetching = true;
    m_bPaintedInFetch = false;
    m_nShownPercent = 0;
}

void CFetchPainter::RepaintRows(int first, int last) {
    if (!m_bFetching) {
        m_view.RepaintRows(first, last);
        return;
    }
    if (last < first)
        return;
    m_nDirtyFirst = m_nDirtyFirst < 0 ? first : std::min(m_nDirtyFirst, first);
    m_nDirtyLast = std::max(m_nDirtyLast, last);
}

void CFetchPainter::Progress(const CFetchProgress& progress) {
    // The bar repaints itself whenever its value changes: it gets the value with the
    // next paint, like everything else.
    m_progress = progress;
    m_bProgressDirty = true;
    PaintIfDue();
}

bool CFetchPainter::End() {
    if (!m_bFetching)
        return false;
    // What the last blocks changed is shown before the progress goes.
    PaintPending();
    m_bFetching = false;
    return true;
}

void CFetchPainter::PaintIfDue() {
    const uint32_t now = m_line.Clock().GetTickCount();
    if (m_bPaintedInFetch && now - m_nLastPaintMs < kRepaintIntervalMs)
        return;
    PaintPending();
    m_bPaintedInFetch = true;
    m_nLastPaintMs = now;
}

void CFetchPainter::PaintPending() {
    // Everything that changed is marked first and then painted in one go, with the one
    // synchronous repaint at the end: Qt paints all marked widgets of the window with it
    // and brings the window to the screen once.
    QWidget* now = nullptr;
    QRect nowRect;
    const auto mark = [&now, &nowRect](QWidget* w, const QRect& r) {
        if (!w->isVisible() || r.isEmpty())
            return;
        if (now != nullptr)
            w->update(r);
        else
            now = w, nowRect = r;
    };
    if (m_nDirtyFirst >= 0) {
        mark(&m_view, m_view.RowsRect(m_nDirtyFirst, m_nDirtyLast));
        m_nDirtyFirst = m_nDirtyLast = -1;
    }
    if (m_bTextDirty)
        mark(&m_text, m_text.rect());
    m_bTextDirty = false;
    if (m_bProgressDirty) {
        // The bar shows whole percent: it is painted when they change, and when full.
        const int value = std::min(m_progress.BlocksDone(), m_bar.maximum());
        if (m_progress.Percent() != m_nShownPercent || value == m_bar.maximum()) {
            // It would paint itself at once on a new value.
            m_bar.setUpdatesEnabled(false);
            m_bar.setValue(value);
            m_bar.setUpdatesEnabled(true);
            m_nShownPercent = m_progress.Percent();
            mark(&m_bar, m_bar.rect());
        }
        // The figures would change with every block, too fast to read.
        const uint32_t nowMs = m_line.Clock().GetTickCount();
        if (m_rate.text().isEmpty() || nowMs - m_nFiguresMs >= kFiguresIntervalMs) {
            m_nFiguresMs = nowMs;
            const QString rate = QString::fromStdString(RateText(m_progress));
            const QString left = QString::fromStdString(TimeLeftText(m_progress));
            for (auto [pane, text] : {std::pair{&m_rate, rate}, std::pair{&m_timeLeft, left}}) {
                if (pane->text() != text) {
                    pane->setText(text);
                    mark(pane, pane->rect());
                }
            }
        }
    }
    m_bProgressDirty = false;
    if (now != nullptr)
        now->repaint(nowRect);
}
