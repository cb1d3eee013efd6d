#include "link/LineDispatch.h"

#include "link/NetAddress.h"
#include "link/QtNetStream.h"
#include "link/Rfc2217Line.h"
#include "link/Trace.h"

CLineDispatch::CLineDispatch(CTcpLine::ClockSource clock, CNetConnector* connector)
    : m_clock(std::move(clock)),
      m_pSystemConnector(connector == nullptr ? std::make_unique<CQtNetConnector>() : nullptr),
      m_pConnector(connector != nullptr ? connector : m_pSystemConnector.get()) {}

std::unique_ptr<CSerialLine> CLineDispatch::OpenLine(const CLineAddress& address) {
    m_bBusy = false;
    m_sProblem.clear();
    const std::string line = address.DeviceName();
    if (!IsNetAddressText(line)) {
        std::unique_ptr<CSerialLine> serial = m_serial.OpenLine(address);
        m_bBusy = m_serial.LastOpenBusy();
        return serial;
    }
    const std::optional<CNetAddress> net = ParseNetAddress(line, &m_sProblem);
    if (!net)
        return nullptr;
    CNetOpenResult result;
    std::unique_ptr<CSerialLine> opened;
    if (net->m_eKind == CNetAddress::EKind::kRfc2217)
        opened = CRfc2217Line::Open(*net, *m_pConnector, m_clock, result);
    else
        opened = CTcpLine::Open(*net, *m_pConnector, m_clock, result);
    m_bBusy = result.m_bBusy;
    m_sProblem = result.m_sProblem;
    if (opened == nullptr)
        PixTrace("open %s: %s", line.c_str(), m_sProblem.c_str());
    return opened;
}
