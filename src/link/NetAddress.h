#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/QtSerialLine.h"

// Where a line over the network ends: the TCP port of a device server, spoken to in
// RFC 2217 (the Telnet com port option, which carries the line settings, the modem lines
// and the purges) or plainly (the bytes as they are, the line settings the server's own).
struct CNetAddress {
    enum class EKind { kRfc2217, kTcp };
    EKind m_eKind = EKind::kTcp;
    std::string m_sHost;  // a name, an IPv4 address, or an IPv6 address without brackets
    uint16_t m_nPort = 0;

    // How messages name it: "10.1.2.3:4001", "[fd00::7]:4001".
    std::string HostPort() const;
};

// Whether the text is meant as a network address: it begins with "rfc2217://" or "tcp://"
// (in any case), whether or not the rest is well formed.
bool IsNetAddressText(const std::string& text);

// The address the text names; none, with the reason in German in *problem, when the text
// is not a well-formed network address (rfc2217://HOST:PORT or tcp://HOST:PORT, HOST a
// name, an IPv4 address or a bracketed IPv6 address, PORT 1..65535).
std::optional<CNetAddress> ParseNetAddress(const std::string& text, std::string* problem = nullptr);

// For a line text as the user gives it (a device, or a network address): why it cannot be
// a network address, in German; empty for a device name and for a well-formed address.
std::string NetAddressProblem(const std::string& line);

// The line behind port number n (ResolvePort), where a network address stored for the
// number counts on every system: on Windows the system's "COMn" otherwise.
CPortName ResolvePortLine(int port, const std::string& stored = {});
