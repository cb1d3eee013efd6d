#include "sim/LinePacer.h"

#include <algorithm>

void CLinePacer::Emit(const std::string& bytes, uint64_t requestUs, uint64_t extraDelayUs,
                      std::vector<CTimedByte>& out) {
    // Times are whole microseconds: a request in the microsecond in which the line fell
    // free was made the moment it did.
    uint64_t requestPs = requestUs * 1000000;
    if (requestPs > m_nFreePs && requestPs - m_nFreePs < 1000000)
        requestPs = m_nFreePs;
    const uint64_t delayPs = (uint64_t{m_nLatencyMs} * 1000 + extraDelayUs) * 1000000;
    uint64_t t = std::max(requestPs + delayPs, m_nFreePs);
    const uint64_t bytePs = m_nBaud == 0 ? 0 : 10000000000000ull / m_nBaud;
    for (char c : bytes) {
        t += bytePs;
        out.push_back({(t + 999999) / 1000000, static_cast<uint8_t>(c)});
    }
    m_nFreePs = std::max(m_nFreePs, t);
}
