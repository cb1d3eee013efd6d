#pragma once

#include <cstdint>

#include "app/Progress.h"

class CLineSession;
class CPixlaneView;
class QLabel;
class QProgressBar;

// The main window's painting while a fetch runs. No events are processed then, so what
// the blocks change (the view's rows, the status text, the progress) is collected here
// and painted in one synchronous repaint between two blocks, at most once in
// kRepaintIntervalMs of the line's clock, and whatever is left when the fetch ends.
// Outside a fetch rows are painted at once. The frame lays the status bar out for a
// fetch; this class decides when what changed is painted.
class CFetchPainter {
  public:
    // While a fetch runs, the view and the status bar are repainted at most once in this
    // many milliseconds of the line's clock (about 60 times a second).
    static constexpr uint32_t kRepaintIntervalMs = 16;
    // The rate and the time left, which change with every block, are read anew at most
    // once in this many milliseconds.
    static constexpr uint32_t kFiguresIntervalMs = 500;

    // The widgets it paints: they belong to the frame and outlive this, as does the line
    // whose clock times the paints.
    CFetchPainter(CLineSession& line, CPixlaneView& view, QLabel& text, QProgressBar& bar,
                  QLabel& rate, QLabel& timeLeft);

    bool IsFetching() const { return m_bFetching; }
    // A fetch begins: nothing of it has been painted, the bar shows no percent yet.
    void Begin();
    // Rows first..last of the view have changed: painted now outside a fetch, with the
    // next paint during one.
    void RepaintRows(int first, int last);
    // During a fetch: the text pane has a new text, painted with the next paint.
    void TextChanged() { m_bTextDirty = true; }
    // The fetch's latest progress, shown with the next paint; paints when the last paint
    // is long enough ago.
    void Progress(const CFetchProgress& progress);
    // The fetch is over: what has not been painted yet is painted now. False when no
    // fetch was running.
    bool End();

  private:
    void PaintIfDue();
    void PaintPending();

    CLineSession& m_line;
    CPixlaneView& m_view;
    QLabel& m_text;
    QProgressBar& m_bar;
    QLabel& m_rate;
    QLabel& m_timeLeft;
    // What a fetch has changed and not yet painted.
    bool m_bFetching = false;
    bool m_bTextDirty = false;
    bool m_bProgressDirty = false;
    CFetchProgress m_progress;  // the latest of the fetch, shown with the next paint
    int m_nDirtyFirst = -1;     // rows of the view
    int m_nDirtyLast = -1;
    bool m_bPaintedInFetch = false;
    int m_nShownPercent = 0;    // what the bar shows
    uint32_t m_nFiguresMs = 0;  // when the rate and the time left were last set
    uint32_t m_nLastPaintMs = 0;
};
