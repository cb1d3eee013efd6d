#include "sim/ModemSim.h"

#include <algorithm>
#include <cctype>

namespace {
const char* DialFailureText(EDialResult result) {
    switch (result) {
        case EDialResult::Busy:
            return "BUSY";
        case EDialResult::NoDialtone:
            return "NO DIALTONE";
        case EDialResult::NoAnswer:
            return "NO ANSWER";
        default:
            return "NO CARRIER";
    }
}
}  // namespace

void CModemSim::OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                            std::vector<CTimedByte>& out) {
    for (size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        if (m_eState == EState::Dialling) {
            if (m_eDialResult == EDialResult::Connect && nowUs >= m_nConnectAtUs) {
                m_eState = EState::Online;
            } else if (m_nConnectAtUs == UINT64_MAX) {
                // The call was never answered; any byte abandons it.
                m_eState = EState::Command;
                ++m_nHangups;
                Log("dial abandoned");
                Result("NO CARRIER", nowUs, 0, out);
                m_bSkipLine = c != '\r';
                m_sLine.clear();
                if (c != '\r')
                    m_sLine += c;
                continue;
            } else {
                continue;  // bytes before CONNECT are lost
            }
        }
        if (m_eState == EState::Online) {
            m_module.OnHostBytes(&data[i], 1, nowUs, out);
            if (m_module.TakeEndConnection()) {
                m_eState = EState::Command;
                ++m_nHangups;
                Log("carrier dropped");
                Result("NO CARRIER", nowUs, 0, out);
            }
            continue;
        }
        CommandByte(c, nowUs, out);
    }
}

void CModemSim::OnDataTerminalReady(bool on, uint64_t nowUs, std::vector<CTimedByte>& out) {
    if (on || m_eState == EState::Command)
        return;
    m_eState = EState::Command;
    ++m_nHangups;
    Log("DTR dropped");
    Result("NO CARRIER", nowUs, 0, out);
}

void CModemSim::CommandByte(char c, uint64_t nowUs, std::vector<CTimedByte>& out) {
    if (m_bEcho && !m_bSkipLine)
        m_module.Pacer().Emit(std::string(1, c), nowUs, 0, out);
    if (c == '\n')
        return;
    if (c != '\r') {
        if (m_sLine.size() < 80)
            m_sLine += c;
        return;
    }
    std::string line;
    line.swap(m_sLine);
    if (m_bSkipLine) {
        m_bSkipLine = false;
        m_commands.Add(line);
        Log(line);
        return;
    }
    if (line.empty())
        return;
    m_commands.Add(line);
    Log(line);
    RunCommand(line, nowUs, out);
}

void CModemSim::Result(const std::string& text, uint64_t nowUs, uint64_t delayUs,
                       std::vector<CTimedByte>& out) {
    m_module.Pacer().Emit("\r\n" + text + "\r\n", nowUs, delayUs, out);
}

void CModemSim::RunCommand(const std::string& line, uint64_t nowUs, std::vector<CTimedByte>& out) {
    std::string upper;
    for (char c : line)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (m_faults.Take(ESimFault::ModemError, upper, -1)) {
        Result("ERROR", nowUs, 0, out);
        return;
    }
    if (upper.compare(0, 2, "AT") != 0) {
        Result("ERROR", nowUs, 0, out);
        return;
    }
    bool bEcho = m_bEcho;
    size_t i = 2;
    while (i < upper.size()) {
        char cmd = upper[i++];
        if (cmd == ' ')
            continue;
        if (cmd == 'D') {
            std::string number = line.substr(i);
            m_dialled.Add(number);
            m_bEcho = bEcho;
            Log("dialling " + number);
            const uint64_t delayUs = uint64_t{m_nDialDelayMs} * 1000;
            CSimFault answer;
            if (m_faults.TakeKind(ESimFault::DialAnswer, &answer)) {
                Result(answer.m_sTarget, nowUs, delayUs, out);
                return;
            }
            const bool bRing = m_faults.TakeKind(ESimFault::DialRing);
            const bool bNever = bRing || m_eDialResult == EDialResult::Never ||
                                m_faults.Take(ESimFault::DialNever, "", -1);
            if (bNever) {
                m_eState = EState::Dialling;
                m_nConnectAtUs = UINT64_MAX;
                if (bRing)
                    Result("RING", nowUs, delayUs, out);
            } else if (m_eDialResult == EDialResult::Connect) {
                m_eState = EState::Dialling;
                m_nConnectAtUs = nowUs + delayUs;
                Result(m_sConnect, nowUs, delayUs, out);
                // The host's next bytes are data once CONNECT has gone out.
                m_nConnectAtUs = std::max(m_nConnectAtUs, m_module.Pacer().FreeUs());
            } else {
                Result(DialFailureText(m_eDialResult), nowUs, delayUs, out);
            }
            return;
        }
        if (cmd == '&')
            cmd = i < upper.size() ? upper[i++] : '?';
        if (!std::isalpha(static_cast<unsigned char>(cmd))) {
            Result("ERROR", nowUs, 0, out);
            return;
        }
        int value = 0;
        if (cmd == 'S') {
            // Sn=v or Sn?
            while (i < upper.size() && (std::isdigit(static_cast<unsigned char>(upper[i])) ||
                                        upper[i] == '=' || upper[i] == '?'))
                ++i;
            continue;
        }
        while (i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i])))
            value = value * 10 + (upper[i++] - '0');
        if (cmd == 'E')
            bEcho = value != 0;
        else if (cmd == 'H')
            ++m_nHangups;
        else if (cmd == 'Z')
            bEcho = true;
    }
    m_bEcho = bEcho;
    Result("OK", nowUs, 0, out);
}
