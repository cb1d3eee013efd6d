#pragma once

#include <cstdint>
#include <string>

// What the system's serial ports are called and how an open one behaves beyond what the
// serial back end hides, one implementation per system.

// Ports go by the system's own names ("COMn" on Windows): a port number is always that
// port, listed ports are opened by those names, and whether one is there is whether the
// system lists it. Elsewhere ports are device paths.
bool PortsHaveSystemNames();

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

// The device behind port number n: where ports have system names "COMn"; elsewhere the
// environment variable PIXLANE_COMn, else the stored value "Ports/COMn" (stored, as the
// settings hold it; empty when they hold none), else /dev/ttyS{n-1}. The one place where
// the systems differ in naming ports.
CPortName ResolvePort(int port, const std::string& stored = {});
inline std::string ResolvePortName(int port, const std::string& stored = {}) {
    return ResolvePort(port, stored).m_sDevice;
}

// An open line as the serial back end hands it out (a descriptor, or a Windows handle),
// for the calls below.
inline intptr_t NativeLine(int fd) {
    return fd;
}
inline intptr_t NativeLine(void* handle) {
    return reinterpret_cast<intptr_t>(handle);
}

// The serial driver's own settings of an open descriptor (Linux: TIOCGSERIAL, TIOCSSERIAL).
struct serial_struct;
class CSerialDriver {
  public:
    virtual ~CSerialDriver() = default;
    // False where the driver keeps no such settings (a pseudo-terminal, most built-in
    // drivers of other kinds).
    virtual bool Get(int fd, serial_struct& settings) = 0;
    virtual bool Set(int fd, const serial_struct& settings) = 0;
};

// Asks the driver of the open line (through driver; the system's calls without one) to
// hand received bytes on as they arrive rather than after its latency timer (a USB serial
// adapter holds them up to 16 ms). False, and nothing changed, where the driver does not
// offer it or the system has no such request.
bool RequestLowLatency(intptr_t line, CSerialDriver* driver = nullptr);

// Keeps the open line to this process for every user, and within this process too,
// beyond the back end's own lock (which does not stop root); false when another holds it.
bool LockSerialLine(intptr_t line);

// After the serial back end refused the device: whether another process holds it, Pixlane
// or any other program. permissionRefused: the back end gave lack of permission as the
// reason.
bool SerialDeviceHeld(const std::string& device, bool permissionRefused);

// After a failed call on the open line: whether the device behind it went away.
// resourceFailed: the back end said the resource failed or vanished.
bool SerialLineGone(intptr_t line, const std::string& device, bool resourceFailed);

// Whether the system's serial lines take one and a half stop bits.
bool OffersOneAndHalfStopBits();
