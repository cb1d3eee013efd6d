#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/SerialLine.h"

class QSerialPort;

// The production line: a QSerialPort used in blocking mode on the calling thread.
class CQtSerialLine : public CSerialLine {
  public:
    ~CQtSerialLine() override;
    // Opens the device exclusively; null when it is missing, busy or not permitted.
    static std::unique_ptr<CQtSerialLine> OpenDevice(const std::string& device,
                                                     std::string* error = nullptr);

    bool GetState(CLineState& state) override;
    bool SetState(const CLineState& state) override;
    bool GetTimeouts(CLineTimeouts& timeouts) override;
    bool SetTimeouts(const CLineTimeouts& timeouts) override;
    bool Write(const uint8_t* data, size_t n, size_t& written) override;
    bool Read(uint8_t* buf, size_t n, size_t& received) override;
    bool PurgeRx() override;
    bool PurgeTx() override;
    bool SetDataTerminalReady(bool on) override;

  private:
    CQtSerialLine() = default;
    std::unique_ptr<QSerialPort> m_pPort;
    CLineTimeouts m_timeouts;
    uint8_t m_nRtsControl = CLineState::kRtsEnable;  // the RTS mode last set
};

// The device behind port number n: on Windows "COMn"; elsewhere the environment
// variable PIXLANE_COMn, else the stored value "Ports/COMn", else /dev/ttyS{n-1}.
std::string ResolvePortName(int port);
// How ResolvePortName finds a stored value (set by the application's settings store).
void SetStoredPortLookup(std::function<std::string(int port)> lookup);

class CQtLineFactory : public CLineFactory {
  public:
    std::unique_ptr<CSerialLine> OpenLine(int port) override;
};
