#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/FakeLine.h"
#include "support/VirtualClock.h"

// A minimal host for the simulation tests: writes frames and reads exact byte counts over
// a fake line in virtual time, with the 3-second read time-out of the product.
class CSimHost {
  public:
    CSimHost(CVirtualClock& clock, CSimPeer& peer) : m_clock(clock), m_line(clock, &peer) {
        m_line.m_timeouts.m_nReadConstant = 3000;
    }

    void Send(const std::string& s) {
        size_t written = 0;
        m_line.Write(reinterpret_cast<const uint8_t*>(s.data()), s.size(), written);
    }
    std::string Read(size_t n) {
        std::string buf(n, '\0');
        size_t got = 0;
        m_line.Read(reinterpret_cast<uint8_t*>(buf.data()), n, got);
        buf.resize(got);
        return buf;
    }
    // Everything that arrives until the line has been quiet for a read time-out.
    std::string ReadAll() {
        std::string all;
        for (;;) {
            const std::string b = Read(1);
            if (b.empty())
                return all;
            all += b;
        }
    }
    std::string Exchange(const std::string& frame) {
        Send(frame);
        return ReadAll();
    }

    // Fetches an image the way the product does: ack, "i,", then per block length, data
    // and check byte, "q,i,0#" after each good block and "q,i,1#" on the first bad one.
    // Returns 0 (complete), 1 (not accepted) or 2 (broken off); blocks gets the data.
    int Fetch(const std::string& request, int count, std::vector<std::string>& blocks) {
        blocks.clear();
        Send(request);
        if (Read(6) != "q,I,0#")
            return 1;
        if (Read(2) != "i,")
            return Abort();
        for (int i = 0; i < count; ++i) {
            const std::string len = Read(2);
            if (len.size() != 2 || !IsHex(len[0]) || !IsHex(len[1]))
                return Abort();
            const size_t n = std::stoul(len, nullptr, 16);
            const std::string data = Read(n);
            const std::string check = Read(1);
            blocks.push_back(data);
            if (data.size() != n || check.size() != 1)
                return Abort();
            uint8_t sum = static_cast<uint8_t>(check[0]);
            for (char c : data)
                sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
            if (sum != 0)
                return Abort();
            Send("q,i,0#");
        }
        return 0;
    }

    CFakeLine& Line() { return m_line; }

  private:
    static bool IsHex(char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    }
    int Abort() {
        Send("q,i,1#");
        return 2;
    }

    CVirtualClock& m_clock;
    CFakeLine m_line;
};
