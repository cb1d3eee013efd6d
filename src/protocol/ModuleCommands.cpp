#include <cstdio>
#include <cstring>
#include <string>

#include "link/ComPort.h"
#include "link/Trace.h"
#include "protocol/Parameters.h"

namespace {

constexpr uint32_t kParameterFailWaitMs = 1000;

// Reads exactly the length of a fixed piece and compares it with the piece as a whole.
bool ReadExpected(CComPort& port, const char* expected) {
    const size_t n = std::strlen(expected);
    char buf[16] = {};
    return n < sizeof buf && port.Read(buf, n) && std::strcmp(buf, expected) == 0;
}

// Reads a value field of n characters as received; empty when it did not arrive whole.
bool ReadValue(CComPort& port, size_t n, std::string& value) {
    char buf[16] = {};
    value.clear();
    if (n >= sizeof buf || !port.Read(buf, n))
        return false;
    value.assign(buf, n);
    return true;
}

// The common shape of the status queries: frame, acknowledgement, data letter, value, "#".
CModuleAnswer Query(CComPort& port, const char* frame, const char* ack, const char* letter,
                    size_t valueLen, const char* errorText) {
    port.Write(frame, std::strlen(frame));  // a failed write shows up as a failed read
    std::string value;
    if (ReadExpected(port, ack) && ReadExpected(port, letter) && ReadValue(port, valueLen, value) &&
        ReadExpected(port, "#"))
        return {true, value};
    return {false, errorText};
}

}  // namespace

CModuleAnswer CComPort::AskCameraStatus() {
    return Query(*this, "V#", "q,V,0#", "v,", 2, "FehlerV ");
}

CModuleAnswer CComPort::AskSoftwareVersion() {
    CModuleAnswer version = Query(*this, "S#", "q,S,0#", "s,", 5, "FehlerS ");
    if (!version.m_bAnswered)
        return version;
    // Five digits d0..d4 are shown as " d1.d3d4".
    version.m_sText[0] = ' ';
    version.m_sText[2] = '.';
    return version;
}

CModuleAnswer CComPort::AskErrorStatus() {
    return Query(*this, "F#", "q,F,0#", "f,", 2, "FehlerF ");
}

CModuleAnswer CComPort::AskInputStatus() {
    return Query(*this, "C#", "q,C,0#", "c,", 2, "FehlerC ");
}

CModuleAnswer CComPort::AskTimeStamp(const std::string& mode) {
    const CModuleAnswer error{false, "FehlerT "};
    std::string frame = "T," + mode + "#";
    if (frame.size() < 4)
        frame.resize(4, '\0');
    Write(frame.data(), 4);
    std::string channel;
    if (!ReadExpected(*this, "q,T,0#") || !ReadExpected(*this, "t,") ||
        !ReadValue(*this, 2, channel))
        return error;
    // The separator is not looked at, and missing seconds only leave their part empty:
    // the final "#" alone decides.
    std::string separator;
    ReadValue(*this, 1, separator);
    std::string seconds;
    ReadValue(*this, 5, seconds);
    if (!ReadExpected(*this, "#"))
        return error;
    return {true, channel + seconds};
}

CModuleAnswer CComPort::AskReset() {
    Write("R,1#", 4);
    if (ReadExpected(*this, "q,R,0#"))
        return {true, " Vebindung getrennt !"};
    return {false, "FehlerR "};
}

std::string CComPort::GetCameraStatus() {
    return AskCameraStatus().m_sText;
}

std::string CComPort::GetSoftwareVersion() {
    return AskSoftwareVersion().m_sText;
}

std::string CComPort::GetErrorStatus() {
    return AskErrorStatus().m_sText;
}

std::string CComPort::GetInputStatus() {
    return AskInputStatus().m_sText;
}

std::string CComPort::GetTimeStamp(const std::string& mode) {
    return AskTimeStamp(mode).m_sText;
}

std::string CComPort::ResetModule() {
    return AskReset().m_sText;
}

int CComPort::EndConnection() {
    Write("E,1#", 4);
    return ReadExpected(*this, "q,E,0#") ? kHangUpConfirmed : kHangUpUnconfirmed;
}

bool CComPort::SetParameters(uint16_t p1, uint16_t p2, uint16_t p3, uint16_t p4, uint16_t p5,
                             uint16_t p6, uint8_t p7, uint8_t p8) {
    // The frame has room for three digits per field and one for the last two; a value
    // that would not fit is refused before anything goes out.
    for (uint16_t p : {p1, p2, p3, p4, p5, p6}) {
        if (p >= 0x1000) {
            PixTrace("Parameter zu gross = %u", static_cast<unsigned>(p));
            return false;
        }
    }
    for (uint8_t p : {p7, p8}) {
        if (p >= 0x10) {
            PixTrace("Parameter zu gross = %u", static_cast<unsigned>(p));
            return false;
        }
    }
    char frame[32];
    const int len = std::snprintf(frame, sizeof frame, "P,%03x,%03x,%03x,%03x,%03x,%03x,%x,%x#",
                                  unsigned{p1}, unsigned{p2}, unsigned{p3}, unsigned{p4},
                                  unsigned{p5}, unsigned{p6}, unsigned{p7}, unsigned{p8});
    Write(frame, static_cast<size_t>(len));
    if (ReadExpected(*this, "q,P,0#"))
        return true;
    WaitPurgeRx(kParameterFailWaitMs);
    return false;
}

bool CComPort::SetParametersForWidth(int width) {
    std::array<uint16_t, 8> p{};
    if (!ParametersForWidth(width, p))
        return false;
    return SetParameters(p[0], p[1], p[2], p[3], p[4], p[5], static_cast<uint8_t>(p[6]),
                         static_cast<uint8_t>(p[7]));
}

bool ParametersForWidth(int width, std::array<uint16_t, 8>& params) {
    switch (width) {
        case 180:
            params = {8, 0, 180, 288, 192, 288, 1, 0};
            return true;
        case 360:
            params = {8, 0, 360, 576, 384, 576, 1, 0};
            return true;
        default:
            return false;
    }
}
