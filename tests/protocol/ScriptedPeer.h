#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimPeer.h"

// A far end that answers each host write with the next scripted answer: a list of pieces,
// each arriving a given number of milliseconds after the write. A write with no script left
// gets no answer. Every write is recorded.
class CScriptedPeer : public CSimPeer {
  public:
    struct CPiece {
        std::string m_sBytes;
        uint32_t m_nDelayMs = 0;
    };

    void Answer(std::vector<CPiece> pieces) { m_answers.push_back(std::move(pieces)); }
    void Answer(const std::string& bytes) { Answer({{bytes, 0}}); }
    void Silence() { Answer(std::vector<CPiece>{}); }

    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override {
        m_received.emplace_back(reinterpret_cast<const char*>(data), n);
        if (m_answers.empty())
            return;
        for (const CPiece& piece : m_answers.front()) {
            for (char c : piece.m_sBytes)
                out.push_back({nowUs + uint64_t{piece.m_nDelayMs} * 1000, static_cast<uint8_t>(c)});
        }
        m_answers.pop_front();
    }

    const std::vector<std::string>& Received() const { return m_received; }

  private:
    std::deque<std::vector<CPiece>> m_answers;
    std::vector<std::string> m_received;
};
