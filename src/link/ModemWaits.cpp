#include <cctype>
#include <string>

#include "link/ComPort.h"

namespace {
constexpr int kMaxTries = 250;
constexpr uint32_t kPollMs = 250;

// The answer line the modem is sending, read one character at a time. An answer is
// recognised by one letter ("K", "T"); a letter that belongs to a result naming a failure
// does not count, and the whole failure result ends the wait at once.
class CAnswerLine {
  public:
    enum EVerdict { kOther, kExpected, kFailure };

    CAnswerLine(char expected) : m_cExpected(expected) {}

    EVerdict Add(char c) {
        if (c == '\r' || c == '\n') {
            m_sLine.clear();
            return c == m_cExpected ? kExpected : kOther;
        }
        if (m_sLine.size() < 32 && (c != ' ' || !m_sLine.empty()))
            m_sLine += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        bool begunFailure = false;
        for (const char* word : kFailures) {
            const std::string w(word);
            if (m_sLine == w)
                return kFailure;
            begunFailure = begunFailure || w.rfind(m_sLine, 0) == 0;
        }
        if (c != m_cExpected)
            return kOther;
        return begunFailure ? kOther : kExpected;
    }

  private:
    static constexpr const char* kFailures[] = {"ERROR",       "BUSY",         "NO CARRIER",
                                                "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
    char m_cExpected;
    std::string m_sLine;
};
}  // namespace

bool CComPort::SendExpect(const char* command, size_t length, const char* expected) {
    if (!Write(command, length))
        return false;
    CAnswerLine answer(expected[0]);
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Clock().Sleep(kPollMs);
        if (!Read(c, 1))
            return false;
        const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
        if (verdict != CAnswerLine::kOther)
            return verdict == CAnswerLine::kExpected;
    }
    return false;
}

bool CComPort::Expect(const char* expected) {
    CAnswerLine answer(expected[0]);
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Clock().Sleep(kPollMs);
        if (!Read(c, 1))
            continue;
        const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
        if (verdict != CAnswerLine::kOther)
            return verdict == CAnswerLine::kExpected;
    }
    return false;
}

bool CComPort::SendExpectTimed(const char* command, size_t length, const char* expected,
                               uint32_t limitMs) {
    CClock& clock = Clock();
    const uint32_t start = clock.GetTickCount();
    if (!Write(command, length))
        return false;
    CAnswerLine answer(expected[0]);
    char c[2] = {0, 0};
    for (;;) {
        clock.Sleep(kPollMs);
        if (Read(c, 1)) {
            const CAnswerLine::EVerdict verdict = answer.Add(c[0]);
            if (verdict == CAnswerLine::kExpected)
                return true;
            // The modem has given up the call itself and is back in command mode.
            if (verdict == CAnswerLine::kFailure)
                return false;
        }
        const uint32_t now = clock.GetTickCount();
        if (static_cast<uint32_t>(now - start) > limitMs)
            break;
    }
    Write("ATH\r", 4);
    return false;
}
