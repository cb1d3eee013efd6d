#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/ModuleSim.h"
#include "sim/SimFault.h"
#include "sim/SimPeer.h"
#include "sim/SimRecord.h"

enum class EDialResult { Connect, Busy, NoCarrier, NoDialtone, NoAnswer, Never };

// A Hayes modem in front of the module. In command mode it echoes what it receives (until
// "ATE0"), takes commands ended by CR and answers with verbose results framed by CR LF.
// "ATD<number>" goes off-hook and, after m_nDialDelayMs, answers CONNECT (and passes every
// later byte to the module), BUSY, NO CARRIER, NO DIALTONE or NO ANSWER, or nothing at all.
// A fault may make it answer the dial with any word instead (and give up the call), or with
// RING and then nothing.
// Dialling that never gets an answer is abandoned by the next byte the host sends (NO CARRIER). In
// data mode there is no escape to command mode; the module's "E,1#" drops the carrier and the modem
// returns to command mode with NO CARRIER. Its answers share the module's pacing.
class CModemSim : public CSimPeer {
  public:
    explicit CModemSim(CModuleSim& module) : m_module(module) {}

    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override;
    // Dropping DTR hangs up and returns to command mode, as AT&D2 sets a modem.
    void OnDataTerminalReady(bool on, uint64_t nowUs, std::vector<CTimedByte>& out) override;

    // Configuration.
    EDialResult m_eDialResult = EDialResult::Connect;
    uint32_t m_nDialDelayMs = 2000;
    std::string m_sConnect = "CONNECT 9600";
    void AddFault(const CSimFault& fault) { m_faults.Add(fault); }
    CSimFaultList& Faults() { return m_faults; }

    // State.
    bool IsOnline() const { return m_eState == EState::Online; }
    bool IsDialling() const { return m_eState == EState::Dialling; }
    bool IsOffHook() const { return m_eState != EState::Command; }
    bool EchoOn() const { return m_bEcho; }
    int Hangups() const { return m_nHangups; }  // ATH and carrier drops

    // Record: the command lines received (without CR) and the numbers dialled, the newest
    // kRecordLimit of each.
    static constexpr size_t kRecordLimit = 1024;
    std::vector<std::string> Commands() const { return {m_commands.begin(), m_commands.end()}; }
    std::vector<std::string> Dialled() const { return {m_dialled.begin(), m_dialled.end()}; }

    // Called with every command line and every change of state.
    std::function<void(const std::string&)> m_onLog;

  private:
    enum class EState { Command, Dialling, Online };

    void CommandByte(char c, uint64_t nowUs, std::vector<CTimedByte>& out);
    void RunCommand(const std::string& line, uint64_t nowUs, std::vector<CTimedByte>& out);
    void Result(const std::string& text, uint64_t nowUs, uint64_t delayUs,
                std::vector<CTimedByte>& out);
    void Log(const std::string& text) {
        if (m_onLog)
            m_onLog(text);
    }

    CModuleSim& m_module;
    CSimFaultList m_faults;
    EState m_eState = EState::Command;
    uint64_t m_nConnectAtUs = 0;
    bool m_bEcho = true;
    bool m_bSkipLine = false;  // rest of the line that abandoned a dial
    std::string m_sLine;
    int m_nHangups = 0;
    CSimRecord<std::string> m_commands{kRecordLimit};
    CSimRecord<std::string> m_dialled{kRecordLimit};
};
