#include "cli/ConsoleUi.h"

#include <QString>
#include <algorithm>

#include "link/PrintableText.h"

namespace {
// Clears the rest of a terminal line.
const char* const kClearToEnd = "\x1b[K";
}  // namespace

CConsoleUi::CConsoleUi(std::ostream& err, bool quiet, bool terminal)
    : m_err(err), m_bQuiet(quiet), m_bTerminal(terminal) {}

void CConsoleUi::SetStatusText(const std::string& text) {
    m_sLastStatus = text;
    if (m_bQuiet)
        return;
    Finish();
    m_err << m_sPrefix << text << '\n';
    m_err.flush();
}

void CConsoleUi::SetProgressText(const std::string& text) {
    m_sLastStatus = text;
    if (m_bQuiet)
        return;
    m_sProgress = text;
    m_bProgressOpen = true;
    if (m_bTerminal)
        DrawProgress();
}

void CConsoleUi::MessageBox(const std::string& text) {
    ++m_nMessages;
    Finish();
    m_err << m_sPrefix << text << '\n';
    m_err.flush();
}

void CConsoleUi::DrawProgress() {
    m_err << '\r' << m_sPrefix << m_sProgress;
    if (m_bHaveProgress && m_progress.BlocksExpected() > 0) {
        if (m_progress.BlocksDone() > 0)
            m_err << "  " << m_progress.Percent() << " %";
        for (const std::string& part : {RateText(m_progress), TimeLeftText(m_progress)})
            if (!part.empty())
                m_err << "  " << part;
    } else if (m_nImageHeight > 0 && m_nRowsDone > 0) {
        // Without block counts the rows drawn tell how far the picture has got.
        m_err << "  " << (100 * m_nRowsDone / m_nImageHeight) << " %";
    }
    m_err << kClearToEnd;
    m_err.flush();
}

void CConsoleUi::ShowProgress(const CFetchProgress& progress) {
    m_progress = progress;
    m_bHaveProgress = true;
    if (m_bTerminal && m_bProgressOpen && !m_bQuiet)
        DrawProgress();
}

void CConsoleUi::Finish() {
    if (!m_bProgressOpen)
        return;
    m_bProgressOpen = false;
    if (m_bTerminal)
        m_err << '\r' << m_sPrefix << m_sProgress << kClearToEnd << '\n';
    else
        m_err << m_sPrefix << m_sProgress << '\n';
    m_err.flush();
}

void CConsoleUi::ReportFailure() {
    if (m_bQuiet && !m_sLastStatus.empty()) {
        m_err << m_sPrefix << m_sLastStatus << '\n';
        m_err.flush();
    }
}

CScreenImage* CConsoleUi::ScreenImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    if (m_screen.m_nWidth != width || m_screen.m_nHeight != height) {
        m_pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        m_screen = {m_pixels.data(), width, height, width};
    }
    return &m_screen;
}

void CConsoleUi::RepaintRows(int, int last) {
    m_nRowsDone = last + 1;
    // With block counts the line is drawn with them instead.
    if (m_bTerminal && m_bProgressOpen && !m_bQuiet && !m_bHaveProgress)
        DrawProgress();
}

void CConsoleUi::SetImageSize(int height, int) {
    m_nImageHeight = height;
}

void CConsoleUi::ResizeForImage(int, int height) {
    m_nImageHeight = height;
    m_nRowsDone = 0;
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<qsizetype> widths;
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            widths.resize(std::max(widths.size(), row.size()), 0);
            widths[i] = std::max(widths[i], QString::fromStdString(row[i]).size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(
                    static_cast<size_t>(widths[i] - QString::fromStdString(row[i]).size() + 2),
                    ' ');
        }
        out << line << '\n';
    }
}

std::string Cell(const std::string& text) {
    return text.empty() ? "-" : PrintableText(text);
}
