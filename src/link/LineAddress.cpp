#include "link/LineAddress.h"

#include <utility>

#include "link/NetAddress.h"
#include "platform/SerialPorts.h"

namespace {
bool IsPortNumber(int port) {
    return port >= 1 && port <= 9;
}
}  // namespace

CLineAddress CLineAddress::Port(int port, std::string stored) {
    CLineAddress a;
    a.m_iPort = port;
    a.m_sStored = std::move(stored);
    return a;
}

CLineAddress CLineAddress::PortOn(int port, std::string device) {
    CLineAddress a;
    a.m_iPort = port;
    a.m_sDevice = std::move(device);
    return a;
}

CLineAddress CLineAddress::Device(std::string device) {
    CLineAddress a;
    a.m_sDevice = std::move(device);
    return a;
}

bool CLineAddress::CanOpen() const {
    return IsNamedDevice() || IsPortNumber(m_iPort);
}

std::string CLineAddress::DeviceName() const {
    if (!m_sDevice.empty())
        return m_sDevice;
    return IsPortNumber(m_iPort) ? ResolvePortLine(m_iPort, m_sStored).m_sDevice : std::string();
}
