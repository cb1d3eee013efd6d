#include "link/ComPort.h"

namespace {
constexpr int kMaxTries = 250;
constexpr uint32_t kPollMs = 250;
}  // namespace

bool CComPort::SendExpect(const char* command, size_t length, const char* expected) {
    if (!Write(command, length))
        return false;
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Clock().Sleep(kPollMs);
        if (!Read(c, 1))
            return false;
        if (c[0] == expected[0])
            return true;
    }
    return false;
}

bool CComPort::Expect(const char* expected) {
    char c[2] = {0, 0};
    for (int tries = 1; tries <= kMaxTries; ++tries) {
        Clock().Sleep(kPollMs);
        if (Read(c, 1) && c[0] == expected[0])
            return true;
    }
    return false;
}

bool CComPort::SendExpectTimed(const char* command, size_t length, const char* expected,
                               uint32_t limitMs) {
    CClock& clock = Clock();
    const uint32_t start = clock.GetTickCount();
    if (!Write(command, length))
        return false;
    char c[2] = {0, 0};
    for (;;) {
        clock.Sleep(kPollMs);
        const bool got = Read(c, 1);
        if (got && c[0] == expected[0])
            return true;
        const uint32_t now = clock.GetTickCount();
        if (static_cast<uint32_t>(now - start) > limitMs)
            break;
    }
    Write("ATH\r", 4);
    return false;
}
