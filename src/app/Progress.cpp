#include "app/Progress.h"

#include <algorithm>
#include <cstdio>

void CFetchProgress::Start(int blocksExpected, uint32_t nowMs) {
    *this = CFetchProgress();
    m_nExpected = std::max(blocksExpected, 0);
    m_nFirstMs = m_nLastMs = nowMs;
}

void CFetchProgress::AddBlock(int bytes, uint32_t nowMs) {
    const uint64_t n = static_cast<uint64_t>(std::max(bytes, 0));
    if (m_nBlocks == 0) {
        m_nFirstBytes = n;
        m_nFirstMs = nowMs;
    }
    ++m_nBlocks;
    m_nBytes += n;
    m_nLastMs = nowMs;
}

int CFetchProgress::Percent() const {
    if (m_nExpected <= 0)
        return 0;
    const int64_t p = int64_t{100} * std::min(m_nBlocks, m_nExpected) / m_nExpected;
    return static_cast<int>(p);
}

int64_t CFetchProgress::BytesPerSecond() const {
    // Unsigned difference: right across a wrap of the tick counter.
    const uint32_t elapsed = m_nLastMs - m_nFirstMs;
    if (m_nBlocks < 2 || elapsed == 0)
        return -1;
    return static_cast<int64_t>((m_nBytes - m_nFirstBytes) * 1000 / elapsed);
}

int64_t CFetchProgress::SecondsLeft() const {
    if (m_nExpected <= 0)
        return -1;
    if (m_nBlocks >= m_nExpected)
        return 0;
    const uint32_t elapsed = m_nLastMs - m_nFirstMs;
    if (m_nBlocks < 2 || elapsed == 0)
        return -1;
    // The blocks after the first took `elapsed`; the rest come at the same pace.
    const uint64_t remaining = static_cast<uint64_t>(m_nExpected - m_nBlocks);
    const uint64_t leftMs = remaining * elapsed / static_cast<uint64_t>(m_nBlocks - 1);
    return static_cast<int64_t>((leftMs + 999) / 1000);
}

std::string RateText(const CFetchProgress& progress) {
    const int64_t rate = progress.BytesPerSecond();
    return rate < 0 ? std::string() : BytesPerSecondText(rate);
}

std::string TimeLeftText(const CFetchProgress& progress) {
    const int64_t s = progress.SecondsLeft();
    if (s < 0)
        return {};
    char text[48];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "noch %lld:%02lld:%02lld",
                      static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                      static_cast<long long>(s % 60));
    else
        std::snprintf(text, sizeof text, "noch %lld:%02lld", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    return text;
}
