#include "capture/HashStates.h"

#include <utility>

size_t CHashStates::Home(uint64_t hash) const {
    // The high bits of a multiplication by the golden ratio spread even hashes that differ
    // in their high bits alone.
    return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ULL) >> (64 - m_nBits));
}

size_t CHashStates::Slot(uint64_t hash) const {
    const size_t mask = m_slots.size() - 1;
    size_t i = Home(hash);
    while (m_slots[i].m_nState != 0 && m_slots[i].m_nHash != hash)
        i = (i + 1) & mask;
    return i;
}

uint8_t CHashStates::Get(uint64_t hash) const {
    return m_slots.empty() ? 0 : m_slots[Slot(hash)].m_nState;
}

void CHashStates::Set(uint64_t hash, uint8_t state) {
    if (m_slots.empty()) {
        if (state == 0)
            return;
        Grow();
    }
    size_t i = Slot(hash);
    if (m_slots[i].m_nState != 0) {
        if (state != 0) {
            m_slots[i].m_nState = state;
            return;
        }
        // Removed: those after it in the same run move up where their probe passes the
        // gap, so that every hash stays reachable from its home without marks left behind.
        const size_t mask = m_slots.size() - 1;
        m_slots[i] = CSlot();
        --m_nHeld;
        for (size_t j = (i + 1) & mask; m_slots[j].m_nState != 0; j = (j + 1) & mask) {
            const size_t home = Home(m_slots[j].m_nHash);
            // Whether home lies cyclically in (i, j]: then j is still reached from it.
            const bool reached = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (reached)
                continue;
            m_slots[i] = std::exchange(m_slots[j], CSlot());
            i = j;
        }
        return;
    }
    if (state == 0)
        return;
    if ((m_nHeld + 1) * 2 > m_slots.size()) {
        Grow();
        i = Slot(hash);
    }
    m_slots[i] = {hash, state};
    ++m_nHeld;
}

void CHashStates::Grow() {
    std::vector<CSlot> old = std::exchange(m_slots, {});
    m_nBits = m_nBits == 0 ? 10 : m_nBits + 1;
    m_slots.resize(size_t{1} << m_nBits);
    for (const CSlot& slot : old)
        if (slot.m_nState != 0)
            m_slots[Slot(slot.m_nHash)] = slot;
}
