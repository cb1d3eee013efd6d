#pragma once

#include <string>

// Where the port's line is opened: a port number 1..9, whose device is found as the line
// opens (ResolvePortLine, with the device the settings store for the number); that number on a
// device given for the run instead of its own (the demo's pseudo-terminal), still called by the
// number; or a device the user names in place of any number, called by its name. A device may
// also be a device server's port (rfc2217://HOST:PORT, tcp://HOST:PORT).
class CLineAddress {
  public:
    CLineAddress() = default;  // no line
    // stored: the device the settings hold for the number ("Ports/COMn"), empty for none.
    static CLineAddress Port(int port, std::string stored = {});
    static CLineAddress PortOn(int port, std::string device);
    static CLineAddress Device(std::string device);

    // The port number; 0 for a device named in place of one.
    int PortNumber() const { return m_iPort; }
    // The device given for the run; empty when the port number's own is used.
    const std::string& GivenDevice() const { return m_sDevice; }
    bool IsNamedDevice() const { return m_iPort == 0 && !m_sDevice.empty(); }
    // Whether there is a line to open: a device given, or a port number 1..9.
    bool CanOpen() const;
    // The device the line is opened on; empty when there is none.
    std::string DeviceName() const;

  private:
    int m_iPort = 0;
    std::string m_sDevice;
    std::string m_sStored;
};
