#include "fleet/LinePool.h"

#include <algorithm>

int CLinePool::AddLine(const std::string& name, bool shared) {
    CPoolLine line;
    line.m_sName = name;
    line.m_bShared = shared;
    m_lines.push_back(line);
    return static_cast<int>(m_lines.size()) - 1;
}

int CLinePool::AddSite(const std::string& name, int line, int64_t due) {
    CPoolSite site;
    site.m_sName = name;
    site.m_iLine = line;
    site.m_nDue = due;
    m_sites.push_back(site);
    return static_cast<int>(m_sites.size()) - 1;
}

bool CLinePool::Serves(const CPoolLine& line, int iLine, const CPoolSite& site) const {
    return site.m_iLine >= 0 ? site.m_iLine == iLine : line.m_bShared;
}

void CLinePool::Refresh(int64_t now) {
    for (CPoolLine& line : m_lines) {
        if ((line.m_bOut && m_nRest > 0) || line.m_bHeld) {
            if (now - line.m_nBackAt >= 0) {
                line.m_bOut = line.m_bHeld = false;
                line.m_sWhy.clear();
            }
        }
    }
}

std::optional<CPoolStart> CLinePool::Next(int64_t now) {
    Refresh(now);
    // The sites that are due, the longest due first; equal ones in the book's order.
    std::vector<int> due;
    for (size_t i = 0; i < m_sites.size(); ++i) {
        const CPoolSite& site = m_sites[i];
        if (!site.m_bRunning && !site.m_bFinished && now - site.m_nDue >= 0)
            due.push_back(static_cast<int>(i));
    }
    std::stable_sort(due.begin(), due.end(),
                     [this](int a, int b) { return m_sites[a].m_nDue < m_sites[b].m_nDue; });
    for (int iSite : due) {
        CPoolSite& site = m_sites[static_cast<size_t>(iSite)];
        for (size_t l = 0; l < m_lines.size(); ++l) {
            CPoolLine& line = m_lines[l];
            if (!Usable(line) || !Serves(line, static_cast<int>(l), site))
                continue;
            line.m_bBusy = true;
            site.m_bRunning = true;
            site.m_bStarted = true;
            site.m_nLastStart = now;
            site.m_nLastLag = now - site.m_nDue;
            return CPoolStart{iSite, static_cast<int>(l), site.m_nLastLag};
        }
    }
    return std::nullopt;
}

void CLinePool::Finished(const CPoolStart& start, EPoolEnd end, int64_t now,
                         const std::string& why) {
    CPoolSite& site = m_sites.at(static_cast<size_t>(start.m_iSite));
    CPoolLine& line = m_lines.at(static_cast<size_t>(start.m_iLine));
    line.m_bBusy = false;
    site.m_bRunning = false;
    switch (end) {
        case EPoolEnd::kDone:
        case EPoolEnd::kStopped:
            // Due again one period after this round's start, however long it took.
            site.m_nRounds += end == EPoolEnd::kDone ? 1 : 0;
            if (m_nPeriod > 0 && end == EPoolEnd::kDone &&
                (m_nCount == 0 || site.m_nRounds < m_nCount))
                site.m_nDue = site.m_nLastStart + m_nPeriod;
            else
                site.m_bFinished = true;
            break;
        case EPoolEnd::kLineFailed:
            // The site stays due: it goes to the next free line at once.
            line.m_bOut = true;
            line.m_nBackAt = now + m_nRest;
            line.m_sWhy = why;
            break;
        case EPoolEnd::kLineHeld:
            line.m_bHeld = true;
            line.m_nBackAt = now + m_nHeld;
            break;
    }
}

bool CLinePool::AnyRunning() const {
    return std::any_of(m_sites.begin(), m_sites.end(),
                       [](const CPoolSite& s) { return s.m_bRunning; });
}

std::vector<int> CLinePool::Stranded() const {
    std::vector<int> stranded;
    for (size_t i = 0; i < m_sites.size(); ++i) {
        const CPoolSite& site = m_sites[i];
        if (site.m_bFinished || site.m_bRunning)
            continue;
        bool served = false;
        for (size_t l = 0; l < m_lines.size() && !served; ++l)
            served = Alive(m_lines[l]) && Serves(m_lines[l], static_cast<int>(l), site);
        if (!served)
            stranded.push_back(static_cast<int>(i));
    }
    return stranded;
}

bool CLinePool::Over() const {
    if (AnyRunning())
        return false;
    // Every site still waiting is stranded.
    const size_t waiting = static_cast<size_t>(std::count_if(
        m_sites.begin(), m_sites.end(), [](const CPoolSite& s) { return !s.m_bFinished; }));
    return Stranded().size() == waiting;
}

bool CLinePool::AllLinesOut() const {
    return !m_lines.empty() &&
           std::all_of(m_lines.begin(), m_lines.end(), [](const CPoolLine& l) { return l.m_bOut; });
}

std::optional<int64_t> CLinePool::NextWake(int64_t now) const {
    std::optional<int64_t> wake;
    const auto take = [&wake, now](int64_t at) {
        const int64_t when = std::max(at, now);
        if (!wake || when < *wake)
            wake = when;
    };
    for (const CPoolSite& site : m_sites)
        if (!site.m_bRunning && !site.m_bFinished)
            take(site.m_nDue);
    for (const CPoolLine& line : m_lines)
        if ((line.m_bOut && m_nRest > 0) || line.m_bHeld)
            take(line.m_nBackAt);
    return wake;
}
