#pragma once

#include <memory>
#include <string>

#include "link/SerialLine.h"
#include "platform/SerialPorts.h"

class QSerialPort;

// The production line: a QSerialPort used in blocking mode on the calling thread.
class CQtSerialLine : public CSerialLine {
  public:
    ~CQtSerialLine() override;
    // Opens the device exclusively; null when it is missing, busy or not permitted. busy
    // (when given) tells whether another process holds it, Pixlane or any other program.
    // The driver's settings are asked through driver, the system's calls without one.
    static std::unique_ptr<CQtSerialLine> OpenDevice(const std::string& device,
                                                     std::string* error = nullptr,
                                                     bool* busy = nullptr,
                                                     CSerialDriver* driver = nullptr);

    bool GetState(CLineState& state) override;
    bool SetState(const CLineState& state) override;
    bool GetTimeouts(CLineTimeouts& timeouts) override;
    bool SetTimeouts(const CLineTimeouts& timeouts) override;
    bool Write(const uint8_t* data, size_t n, size_t& written) override;
    bool Read(uint8_t* buf, size_t n, size_t& received) override;
    bool PurgeRx() override;
    bool PurgeTx() override;
    bool IsGone() const override { return m_bGone; }
    bool SetDataTerminalReady(bool on) override;

  private:
    CQtSerialLine() = default;
    // After a failed call: whether the device went away (the error says so, the terminal
    // is hung up, or its node is no longer there); remembered for every later call.
    bool CheckGone(int error);
    bool Purge(int directions);  // QSerialPort::Directions

    std::unique_ptr<QSerialPort> m_pPort;
    std::string m_sDevice;  // the name the line was opened by
    bool m_bGone = false;
    CLineTimeouts m_timeouts;
    uint8_t m_nRtsControl = CLineState::kRtsEnable;  // the RTS mode last set
};

class CQtLineFactory : public CLineFactory {
  public:
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) override;
    bool LastOpenBusy() const override { return m_bBusy; }

  private:
    bool m_bBusy = false;
};
