#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/TcpLine.h"
#include "link/Telnet.h"

// A line over the network to a device server that speaks RFC 2217: Telnet with binary
// transmission both ways, no go-aheads, and the com port option, through which the line
// settings, DTR and RTS, the purges and the modem lines travel. Data bytes 0xFF are
// doubled on the wire both ways. A setting the server refuses (as one serving a
// pseudo-terminal refuses DTR and RTS) is traced, and the line is used as it is.
class CRfc2217Line : public CTcpLine {
  public:
    // Connects and negotiates, and has the server drop what it received from the serial
    // line before; null, with the reason in result, when the line cannot be had. A server
    // that answers none of the Telnet requests within kConnectMs is taken for one that
    // does not answer at all.
    static std::unique_ptr<CRfc2217Line> Open(const CNetAddress& address, CNetConnector& connector,
                                              const ClockSource& clock, CNetOpenResult& result);

    // Sends the baud rate, data bits, parity, stop bits, RTS and flow control, and waits
    // for the server's answers (up to the read time-out).
    bool SetState(const CLineState& state) override;
    // Asks the server to drop what it received from the serial line and not yet sent,
    // and drops everything that arrived before its answer.
    bool PurgeRx() override;
    // Asks the server to drop what it has not yet sent to the serial line.
    bool PurgeTx() override;
    bool SetDataTerminalReady(bool on) override;
    std::optional<bool> CarrierDetect() const override { return m_carrier; }

  protected:
    void Outgoing(const uint8_t* data, size_t n, std::string& wire) override;
    void Incoming(const std::string& bytes) override;

  private:
    // A com port command awaiting the server's answer.
    struct CAsk {
        CAsk(uint8_t command, std::string value, const char* what)
            : m_nCommand(command), m_sValue(std::move(value)), m_pWhat(what) {}
        uint8_t m_nCommand = 0;
        std::string m_sValue;
        const char* m_pWhat = "";
        bool m_bDone = false;      // answered, or passed over by a later answer
        bool m_bAnswered = false;  // the server said what it set
        std::string m_sAnswer;
        size_t m_nRxAt = 0;  // where the data received stood when the answer came
    };

    using CTcpLine::CTcpLine;
    bool Negotiate(uint32_t deadline, CNetOpenResult& result);
    // Sends the commands in one piece and waits up to ms for their answers. The server
    // answers in order, so a command still unanswered when a later one is answered was
    // refused, as is every command unanswered at the end of the wait. False when the line
    // went away meanwhile.
    bool Ask(std::vector<CAsk>& asks, uint32_t ms);
    void OnComPort(uint8_t command, const std::string& value);
    void TraceAnswers(const std::vector<CAsk>& asks) const;
    uint32_t AnswerWaitMs() const;

    CTelnetCodec m_codec;
    std::vector<CAsk>* m_pAsking = nullptr;
    std::optional<bool> m_carrier;
    bool m_bPlainTraced = false;
};
