#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/LineAddress.h"

// Line parameters as the port keeps them between open and close.
struct CLineState {
    static constexpr uint8_t kNoParity = 0;
    static constexpr uint8_t kEvenParity = 2;
    static constexpr uint8_t kOneStopBit = 0;
    static constexpr uint8_t kOne5StopBits = 1;
    static constexpr uint8_t kTwoStopBits = 2;
    static constexpr uint8_t kRtsDisable = 0;
    static constexpr uint8_t kRtsEnable = 1;
    static constexpr uint8_t kRtsHandshake = 2;
    static constexpr uint8_t kRtsToggle = 3;

    uint32_t m_nBaudRate = 9600;
    uint8_t m_nByteSize = 8;
    uint8_t m_nParity = kNoParity;
    uint8_t m_nStopBits = kOneStopBit;
    bool m_bParityCheck = false;
    uint8_t m_nRtsControl = kRtsEnable;
};

// Time-outs of the line: a read of n bytes gives up after
// m_nReadConstant + m_nReadMultiplier * n ms, a write after m_nWriteConstant +
// m_nWriteMultiplier * n ms. m_nReadInterval is kept for completeness and unused.
struct CLineTimeouts {
    uint32_t m_nReadInterval = 0;
    uint32_t m_nReadMultiplier = 0;
    uint32_t m_nReadConstant = 0;
    uint32_t m_nWriteMultiplier = 0;
    uint32_t m_nWriteConstant = 0;
};

// One open line: a serial port, or a device server's port over the network. All calls
// block the calling thread.
class CSerialLine {
  public:
    virtual ~CSerialLine() = default;
    virtual bool GetState(CLineState& state) = 0;
    virtual bool SetState(const CLineState& state) = 0;
    virtual bool GetTimeouts(CLineTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const CLineTimeouts& timeouts) = 0;
    // Writes up to n bytes within the write time-out; written tells how many went out.
    virtual bool Write(const uint8_t* data, size_t n, size_t& written) = 0;
    // Reads up to n bytes within the read time-out; received tells how many arrived.
    // Returns false only when the line itself failed, not on a time-out.
    virtual bool Read(uint8_t* buf, size_t n, size_t& received) = 0;
    virtual bool PurgeRx() = 0;
    virtual bool PurgeTx() = 0;
    // True once the device behind the line has gone away (an adapter unplugged, the far
    // end of a pseudo-terminal closed): a failed call says so, and every later call fails
    // at once. A line that is merely quiet is not gone.
    virtual bool IsGone() const { return false; }
    // Sets the DTR line; false where the device has no such line.
    virtual bool SetDataTerminalReady(bool on) {
        (void)on;
        return false;
    }
    // Once the line is gone: what became of it, naming it, where the line can say more
    // than that it went away ("Verbindung zu 10.1.2.3:4001 unterbrochen"); else empty.
    virtual std::string LossText() const { return {}; }
    // The carrier detect line as the far end last told it; none where it is not told.
    virtual std::optional<bool> CarrierDetect() const { return std::nullopt; }
};

// Opens the line at an address that CanOpen(); null when it cannot be opened (missing,
// busy, no permission).
class CLineFactory {
  public:
    virtual ~CLineFactory() = default;
    virtual std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) = 0;
    // Whether the last OpenLine failed because another process holds the line.
    virtual bool LastOpenBusy() const { return false; }
    // Why the last OpenLine failed, in German and naming the line, where the back end can
    // say ("Verbindung zu 10.1.2.3:4001 abgelehnt"); else empty.
    virtual std::string LastOpenProblem() const { return {}; }
};
