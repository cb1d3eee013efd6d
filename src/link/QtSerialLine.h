#pragma once

#include <memory>
#include <string>

#include "link/SerialLine.h"

class QSerialPort;
class CSerialDriver;

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

#ifdef __linux__
struct serial_struct;
// The serial driver's own settings of an open descriptor (TIOCGSERIAL, TIOCSSERIAL).
class CSerialDriver {
  public:
    virtual ~CSerialDriver() = default;
    // False where the driver keeps no such settings (a pseudo-terminal, most built-in
    // drivers of other kinds).
    virtual bool Get(int fd, serial_struct& settings) = 0;
    virtual bool Set(int fd, const serial_struct& settings) = 0;
};
#endif

// Asks the driver of the open descriptor (through driver; the system's calls without one)
// to hand received bytes on as they arrive rather than after its latency timer (a USB
// serial adapter holds them up to 16 ms). False, and nothing changed, where the driver
// does not offer it or the system has no such request.
bool RequestLowLatency(int fd, CSerialDriver* driver = nullptr);

// Where the device behind a port number was found.
enum class EPortSource {
    System,       // the system's own name of the port (Windows: "COMn")
    Environment,  // the variable PIXLANE_COMn
    Stored,       // the stored value "Ports/COMn"
    Default,      // /dev/ttyS{n-1}
};

struct CPortName {
    std::string m_sDevice;
    EPortSource m_eSource = EPortSource::Default;
};

// The device behind port number n: on Windows "COMn"; elsewhere the environment
// variable PIXLANE_COMn, else the stored value "Ports/COMn" (stored, as the settings hold
// it; empty when they hold none), else /dev/ttyS{n-1}.
// The one place where the platforms differ in naming ports.
CPortName ResolvePort(int port, const std::string& stored = {});
std::string ResolvePortName(int port, const std::string& stored = {});

class CQtLineFactory : public CLineFactory {
  public:
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) override;
    bool LastOpenBusy() const override { return m_bBusy; }

  private:
    bool m_bBusy = false;
};
