#pragma once

#include <memory>
#include <string>

#include "link/NetStream.h"
#include "link/QtSerialLine.h"
#include "link/SerialLine.h"
#include "link/TcpLine.h"

// Opens a line by the kind of its address: a device on the serial back end, an
// rfc2217:// address as an RFC 2217 line, a tcp:// address as a plain one.
class CLineDispatch : public CLineFactory {
  public:
    // clock: the clock of the session the lines belong to. connector: where network
    // connections come from; the system's sockets when null.
    explicit CLineDispatch(CTcpLine::ClockSource clock, CNetConnector* connector = nullptr);
    std::unique_ptr<CSerialLine> OpenLine(const CLineAddress& address) override;
    bool LastOpenBusy() const override { return m_bBusy; }
    std::string LastOpenProblem() const override { return m_sProblem; }

  private:
    CTcpLine::ClockSource m_clock;
    CQtLineFactory m_serial;
    std::unique_ptr<CNetConnector> m_pSystemConnector;
    CNetConnector* m_pConnector;
    bool m_bBusy = false;
    std::string m_sProblem;
};
