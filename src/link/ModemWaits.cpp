#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <string_view>

#include "link/ComPort.h"

namespace {
constexpr int kMaxTries = 250;
constexpr uint32_t kPollMs = 250;

// The answer line the modem is sending, read one character at a time. The awaited answer
// is recognised by its last letter, but only as the end of its own word: the "K" of a
// line reading "OK", the "T" of one reading "CONNECT". The same letter in any other word
// ("BLACKLISTED", "NO DIALTONE", "PROTOCOL: LAP-M") counts for nothing. A result that
// names a failure ends the wait at once: a command is failed only by "ERROR"; the results
// of a call may also stand in the input from the call before ("NO CARRIER" when the
// module hung up), so they end the wait for the dial alone. Any other whole line (RING,
// a progress report, a word of a modem we do not know) is kept as the last one heard.
class CAnswerLine {
  public:
    enum EVerdict { kOther, kExpected, kFailure };

    CAnswerLine(char expected, bool dial, std::string_view command = {})
        : m_cExpected(expected),
          m_pWord(WordOf(expected)),
          m_nFailures(dial ? std::size(kFailures) : 1),
          m_sEcho(Upper(command)) {
        while (!m_sEcho.empty() && (m_sEcho.back() == '\r' || m_sEcho.back() == '\n'))
            m_sEcho.pop_back();
        // As much of it as a line keeps.
        m_sEcho.resize(std::min(m_sEcho.size(), kLongestLine));
    }

    EVerdict Add(char c) {
        if (c == '\r' || c == '\n') {
            // The command's own echo is no answer.
            if (!m_sLine.empty() && m_sLine != m_sEcho)
                m_sHeard = m_sLine;
            m_sLine.clear();
            return c == m_cExpected ? kExpected : kOther;
        }
        // Noise on the line (a control character, a byte outside ASCII) is no part of a word.
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || (c == ' ' && m_sLine.empty()))
            return kOther;
        if (m_sLine.size() < kLongestLine)
            m_sLine += static_cast<char>(std::toupper(u));
        for (size_t i = 0; i < m_nFailures; ++i)
            if (m_sLine == kFailures[i])
                return kFailure;  // the line is the word
        if (c != m_cExpected)
            return kOther;
        return m_pWord == nullptr || m_sLine == m_pWord ? kExpected : kOther;
    }
    // The answer line so far: after kFailure, the modem's result word.
    const std::string& Current() const { return m_sLine; }
    // The last whole line the modem sent, its echo of the command aside; empty when none.
    const std::string& Heard() const { return m_sHeard; }

  private:
    // "ERROR" first: it is the only one that answers a command. "BLACKLISTED" and
    // "DELAYED" are a mobile modem's: the network refuses the number for now.
    static constexpr const char* kFailures[] = {"ERROR",       "BUSY",         "NO CARRIER",
                                                "NO DIALTONE", "NO DIAL TONE", "NO ANSWER",
                                                "BLACKLISTED", "DELAYED"};
    static constexpr size_t kLongestLine = 32;

    // The word whose last letter the awaited character is; null for any other character.
    static const char* WordOf(char expected) {
        if (expected == 'K')
            return "OK";
        if (expected == 'T')
            return "CONNECT";
        return nullptr;
    }
    static std::string Upper(std::string_view text) {
        std::string upper(text);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return upper;
    }

    char m_cExpected;
    const char* m_pWord;
    size_t m_nFailures;  // how many of kFailures, from the first, end the wait
    std::string m_sEcho;
    std::string m_sLine;
    std::string m_sHeard;
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
            *modemWord = answer.Current();
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
            *modemWord = answer.Current();
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
    CAnswerLine answer(expected[0], true, std::string_view(command, length));
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
                    *modemWord = answer.Current();
                return false;
            }
        } else if (m_line.LineLost()) {
            return false;
        }
        const uint32_t now = clock.GetTickCount();
        if (static_cast<uint32_t>(now - start) > limitMs)
            break;
    }
    // No result that ends the call came: what the modem said last (RING, say) is its word.
    if (modemWord != nullptr)
        *modemWord = answer.Heard();
    Write("ATH\r", 4);
    return false;
}
