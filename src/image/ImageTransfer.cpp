#include <algorithm>
#include <cctype>
#include <cstring>

#include "link/ComPort.h"
#include "link/Trace.h"
#include "protocol/Hex.h"

namespace {
// The two-digit block length; -1 unless both characters are hexadecimal digits
// (HexToInt alone would take "0x" as an empty text, that is 0).
int BlockLength(const char* field) {
    if (!std::isxdigit(static_cast<unsigned char>(field[0])) ||
        !std::isxdigit(static_cast<unsigned char>(field[1])))
        return -1;
    return HexToInt(std::string(field, 2));
}
}  // namespace

int CComPort::ReceiveImage(const std::string& frame, uint8_t* buffer, int count,
                           const BlockHandler& onBlock, const BlockHandler& onAcknowledged) {
    m_bBreakOff = false;
    // The request is always 18 bytes on the line.
    char request[19] = {};
    std::memcpy(request, frame.data(), std::min<size_t>(frame.size(), 18));
    if (!Write(request, 18))
        return kTransferRefused;
    char answer[8] = {};
    if (!Read(answer, 6) || std::strcmp(answer, "q,I,0#") != 0)
        return kTransferRefused;
    if (!Read(answer, 2) || std::strcmp(answer, "i,") != 0)
        return kTransferBroken;
    for (int i = 0; i < count; ++i) {
        char len[3] = {};
        if (!Read(len, 2))
            return kTransferBroken;
        // A length field that is not two hexadecimal digits breaks the transfer off.
        const int n = BlockLength(len);
        if (n < 0)
            return kTransferBroken;
        m_nBlockLen = n;
        if (n > 0 && !Read(buffer, static_cast<size_t>(n)))
            return kTransferBroken;
        if (onBlock)
            onBlock(i, n);
        if (m_bBreakOff)
            return kTransferBroken;
        uint8_t check[2] = {};
        if (!Read(check, 1))
            return kTransferBroken;
        uint8_t sum = 0;
        for (int k = 0; k < n; ++k)
            sum = static_cast<uint8_t>(sum + buffer[k]);
        const uint8_t expected = static_cast<uint8_t>(-sum);
        if (expected != check[0]) {
            PixTrace("zCheck = %d,Checksumme %d", expected, check[0]);
            return kTransferBroken;
        }
        Write("q,i,0#", 6);
        if (onAcknowledged)
            onAcknowledged(i, n);
    }
    return kTransferComplete;
}
