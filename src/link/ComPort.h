#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/LineSession.h"

// Result of an image transfer (CComPort::ReceiveImage).
enum TransferResult : int {
    kTransferComplete = 0,  // every block arrived with a matching check byte
    kTransferRefused = 1,   // request not written, or not acknowledged with "q,I,0#"
    kTransferBroken = 2,    // the transfer broke off after the request was accepted
};

// Result of a channel selection (CComPort::SelectChannelResult).
enum ChannelResult : int {
    kChannelSelected = 0,  // the module confirmed the channel
    kChannelRefused = 1,   // the module has no such channel ("Kanal nicht vorhanden" shown)
    kChannelNoAnswer = 2,  // no answer in time, or one that neither confirms nor refuses
};

// Result of the end of a connection (CComPort::EndConnection).
enum HangUpResult : int {
    kHangUpConfirmed = 0,    // the module answered "q,E,0#"
    kHangUpUnconfirmed = 1,  // it did not
};

// How the modem waits take the modem's answer: one character after each 250 ms pause, as
// the window's commands and its capture timer wait, or each character as it arrives.
enum class EModemPace { kPolled, kAsArrived };

// The answer to a status or control command: whether the module gave one, and its text
// for display (the value it sent, or the command's error text such as "FehlerV ").
struct CModuleAnswer {
    bool m_bAnswered = false;
    std::string m_sText;
};

// The port: a short-lived object through which its caller talks to the line of a session.
// Callers create local objects wherever they need the line; the line stays open across
// them, in the session. The members are grouped by subsystem; each group is defined in its
// own folder.
class CComPort {
  public:
    explicit CComPort(CLineSession& session) : m_line(session) {}

    // Total read time-out and write time-out arithmetic of every exchange.
    static constexpr uint32_t kReadTimeoutMs = 3000;
    static constexpr uint32_t kWriteTimeoutPerByteMs = 500;
    static constexpr uint32_t kWriteTimeoutConstantMs = 500;

    // ---- serial port (src/link/ComPort.cpp) ----
    // 1..9 opens COM1..COM9; any other number closes the open port.
    bool Open(uint8_t port);
    // Opens the line at the address; false when it cannot be opened, or while the port
    // is open already.
    bool Open(const CLineAddress& address);
    bool Setup(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopCode, uint8_t rts);
    bool Write(const void* data, size_t n);
    // Reads exactly n bytes within the read time-out; on success stores a NUL at buf[n].
    bool Read(void* buf, size_t n);
    bool PurgeRx();
    bool PurgeTx();
    bool Wait(uint32_t ms);
    bool WaitPurgeRx(uint32_t ms);
    bool WaitPurgeAll(uint32_t ms);
    // Drops DTR for the given time and raises it again: a modem that hangs up on DTR
    // (the usual setting, AT&D2) goes on-hook. False where the line has no DTR.
    bool PulseDtr(uint32_t ms);

    // ---- modem waits (src/link/ModemWaits.cpp) ----
    // When given, modemWord gets the modem's own result that ended the wait instead of the
    // awaited letter ("ERROR", "BUSY", "NO CARRIER", ...), or empty when none did. A timed
    // wait that ran out gives the last whole line the modem sent meanwhile ("RING").
    // The pace changes only how soon a character is read: the recognition, the tries,
    // the limits and the results are the same at either.
    bool SendExpect(const char* command, size_t length, const char* expected,
                    std::string* modemWord = nullptr, EModemPace pace = EModemPace::kPolled);
    bool Expect(const char* expected, std::string* modemWord = nullptr,
                EModemPace pace = EModemPace::kPolled);
    bool SendExpectTimed(const char* command, size_t length, const char* expected, uint32_t limitMs,
                         std::string* modemWord = nullptr, EModemPace pace = EModemPace::kPolled);

    // ---- command framing and channel selection (src/protocol/Channel.cpp) ----
    bool SelectChannel(const std::string& channel);
    ChannelResult SelectChannelResult(const std::string& channel);

    // ---- status and control commands (src/protocol/ModuleCommands.cpp) ----
    // The texts shown for the answers ...
    std::string GetCameraStatus();
    std::string GetSoftwareVersion();
    std::string GetErrorStatus();
    std::string GetInputStatus();
    std::string GetTimeStamp(const std::string& mode);
    std::string ResetModule();
    // ... and the answers, for a caller that tells a failure from a value.
    CModuleAnswer AskCameraStatus();
    CModuleAnswer AskSoftwareVersion();
    CModuleAnswer AskErrorStatus();
    CModuleAnswer AskInputStatus();
    CModuleAnswer AskTimeStamp(const std::string& mode);
    CModuleAnswer AskReset();
    // A HangUpResult.
    int EndConnection();
    bool SetParameters(uint16_t p1, uint16_t p2, uint16_t p3, uint16_t p4, uint16_t p5, uint16_t p6,
                       uint8_t p7, uint8_t p8);
    // The parameter set of an image width (180 or 360); false, and nothing sent, for a
    // width that has none.
    bool SetParametersForWidth(int width);

    // ---- image transfer (src/image/ImageTransfer.cpp) ----
    // Called with the block index after each block's data have arrived, before its
    // check byte is read; the block is the first m_nBlockLen bytes of the buffer.
    using BlockHandler = std::function<void(int blockIndex, int blockLen)>;
    // onAcknowledged, when given, is called after each block has been acknowledged, while
    // the module sends the next one: the place for work that must not hold up the line.
    int ReceiveImage(const std::string& frame, uint8_t* buffer, int count,
                     const BlockHandler& onBlock, const BlockHandler& onAcknowledged = {});
    int m_nBlockLen = 0;
    // Set by the block handler: the transfer ends after that block, as broken off.
    bool m_bBreakOff = false;

    // The session the port talks to.
    CLineSession& Session() const { return m_line; }
    // The text shown when the line cannot be opened because another process holds it.
    static constexpr const char* kPortBusyText = "Schnittstelle belegt";
    // The status text shown when the open line goes away.
    static constexpr const char* kLineGoneText = "Schnittstelle getrennt";

  private:
    void ShowMessage(const std::string& text);
    void ShowStatus(const std::string& text);
    // After a call on the line: when the line says its device is gone, the port is closed
    // (every later call fails at once) and the loss is shown and recorded.
    void CheckLine();

    // A pause of the modem waits before each character they read.
    void Pause(EModemPace pace);

    CLineSession& m_line;
};
