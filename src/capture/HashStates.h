#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A small state for each of many 64-bit hashes, held in one flat table probed in a row: a
// look-up costs about one memory access however many are held, where a node-based set
// follows a chain of them. What it holds follows the hashes whose state is not 0; a hash
// set to 0 is gone, and leaves no mark behind.
class CHashStates {
  public:
    // The hash's state; 0 when it holds none.
    uint8_t Get(uint64_t hash) const;
    // Sets it; 0 removes the hash.
    void Set(uint64_t hash, uint8_t state);
    // The hashes held.
    size_t Size() const { return m_nHeld; }

  private:
    struct CSlot {
        uint64_t m_nHash = 0;
        uint8_t m_nState = 0;  // 0: free
    };
    // The slot where a hash is, or where it would be put.
    size_t Slot(uint64_t hash) const;
    size_t Home(uint64_t hash) const;
    void Grow();

    std::vector<CSlot> m_slots;  // a power of two of them, at most half in use; or none
    size_t m_nHeld = 0;
    int m_nBits = 0;  // the power of two
};
