#include <cctype>
#include <iterator>
#include <string>

#include "link/ComPort.h"

namespace {
constexpr int kMaxTries = 250;
constexpr uint32_t kPollMs = 250;

// The answer line the modem is sending, read one character at a time. An answer is
// recognised by one letter ("K", "T"); a letter that belongs to a result naming a failure
// does not count, and the whole failure result ends the wait at once. A command is failed
// only by "ERROR"; the results of a call may also stand in the input from the call before
// ("NO CARRIER" when the module hung up), so they end the wait for the dial alone.
class CAnswerLine {
  public:
    enum EVerdict { kOther, kExpected, kFailure };

    CAnswerLine(char expected, bool dial)
        : m_cExpected(expected), m_nFailures(dial ? std::size(kFailures) : 1) {}

    EVerdict Add(char c) {
        if (c == '\r' || c == '\n') {
            m_sLine.clear();
            return c == m_cExpected ? kExpected : kOther;
        }
        if (m_sLine.size() < 32 && (c != ' ' || !m_sLine.empty()))
            m_sLine += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        bool begunFailure = false;
        for (size_t i = 0; i < m_nFailures; ++i) {
            const std::string w(kFailures[i]);
            if (m_sLine == w)
                return kFailure;  // the line is the word
            begunFailure = begunFailure || w.rfind(m_sLine, 0) == 0;
        }
        if (c != m_cExpected)
            return kOther;
        return begunFailure ? kOther : kExpected;
    }
    // The answer line so far: after kFailure, the modem's result word.
    const std::string& Line() const { return m_sLine; }

  private:
    // "ERROR" first: it is the only one that answers a command.
    static constexpr const char* kFailures[] = {"ERROR",       "BUSY",         "NO CARRIER",
                                                "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
    char m_cExpected;
    size_t m_nFailures;  // how many of kFailures, from the first, end the wait
    std::string m_sLine;
};
}  // namespace

void CComPort::Pause(EModemPace pace) {
    if (pace == EModemPace::kPolled)
        m_line.Clock().Sleep(kPollMs);
}

bool CComPort::SendExpect(const char* command, size_t length, const char* expected,
                          std::string* modemWord, EModemPace pace) {
    if (modemWord != nullptr)
        modemWord->clear();
    if (!Write(command, length))
        return false;
    CAnswerLine answer(expected[0], false);
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Pause(pace);
        if (!Read(c, 1))
            return false;
        const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
        if (verdict == CAnswerLine::kFailure && modemWord != nullptr)
            *modemWord = answer.Line();
        if (verdict != CAnswerLine::kOther)
            return verdict == CAnswerLine::kExpected;
    }
    return false;
}

bool CComPort::Expect(const char* expected, std::string* modemWord, EModemPace pace) {
    if (modemWord != nullptr)
        modemWord->clear();
    CAnswerLine answer(expected[0], false);
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Pause(pace);
        if (!Read(c, 1)) {
            // A line that went away brings no answer, however long one waits.
            if (m_line.LineLost())
                return false;
            continue;
        }
        const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
        if (verdict == CAnswerLine::kFailure && modemWord != nullptr)
            *modemWord = answer.Line();
        if (verdict != CAnswerLine::kOther)
            return verdict == CAnswerLine::kExpected;
    }
    return false;
}

bool CComPort::SendExpectTimed(const char* command, size_t length, const char* expected,
                               uint32_t limitMs, std::string* modemWord, EModemPace pace) {
    CClock& clock = m_line.Clock();
    const uint32_t start = clock.GetTickCount();
    if (modemWord != nullptr)
        modemWord->clear();
    if (!Write(command, length))
        return false;
    CAnswerLine answer(expected[0], true);
    char c[2] = {0, 0};
    for (;;) {
        Pause(pace);
        if (Read(c, 1)) {
            const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
            if (verdict == CAnswerLine::kExpected)
                return true;
            // The modem has given up the call itself and is back in command mode.
            if (verdict == CAnswerLine::kFailure) {
                if (modemWord != nullptr)
                    *modemWord = answer.Line();
                return false;
            }
        } else if (m_line.LineLost()) {
            return false;
        }
        const uint32_t now = clock.GetTickCount();
        if (static_cast<uint32_t>(now - start) > limitMs)
            break;
    }
    Write("ATH\r", 4);
    return false;
}
