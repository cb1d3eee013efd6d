#include "sim/SimFault.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

bool ParseNumber(const std::string& s, long max, long& value) {
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    value = std::strtol(s.c_str(), nullptr, 10);
    return value <= max;
}

bool IsCommandLetter(const std::string& s) {
    return s.size() == 1 && std::string("VSFCTGPREI").find(s[0]) != std::string::npos;
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = s.find(':', start);
        parts.push_back(s.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return parts;
}

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr)
        *error = text;
    return false;
}

}  // namespace

bool ParseSimFault(const std::string& text, CSimFault& fault, std::string* error) {
    std::string body = text;
    fault = CSimFault{};
    if (!body.empty() && body.back() == '+') {
        fault.m_bPersistent = true;
        body.pop_back();
    }
    const std::vector<std::string> p = Split(body);
    const std::string& kind = p[0];
    struct CCommandKind {
        const char* m_pName;
        ESimFault m_eKind;
    };
    static const CCommandKind kCommand[] = {
        {"silent", ESimFault::Silent}, {"delay", ESimFault::Delay},
        {"ack", ESimFault::AckDigit},  {"letter", ESimFault::DataLetter},
        {"nohash", ESimFault::NoHash}, {"garbage", ESimFault::Garbage},
    };
    static const CCommandKind kBlock[] = {
        {"checksum", ESimFault::BadCheck},      {"hexlen", ESimFault::HexLength},
        {"short", ESimFault::ShortBlock},       {"silent-block", ESimFault::SilentBlock},
        {"delay-block", ESimFault::DelayBlock},
    };
    long ms = 0;
    for (const auto& k : kCommand) {
        if (kind != k.m_pName)
            continue;
        const bool bDelay = k.m_eKind == ESimFault::Delay;
        if (p.size() != (bDelay ? 3u : 2u) || !IsCommandLetter(p[1]))
            return Fail(error, "expected " + kind + (bDelay ? ":X:MS" : ":X") +
                                   " with X one of V S F C T G P R E I");
        if (bDelay && !ParseNumber(p[2], 3600000, ms))
            return Fail(error, "bad delay in " + text);
        fault.m_eKind = k.m_eKind;
        fault.m_sTarget = p[1];
        fault.m_nDelayMs = static_cast<uint32_t>(ms);
        return true;
    }
    for (const auto& k : kBlock) {
        if (kind != k.m_pName)
            continue;
        const bool bDelay = k.m_eKind == ESimFault::DelayBlock;
        long block = 0;
        if (p.size() != (bDelay ? 3u : 2u) || !ParseNumber(p[1], 0xFFFF, block))
            return Fail(error,
                        "expected " + kind + (bDelay ? ":K:MS" : ":K") + " with K a block index");
        if (bDelay && !ParseNumber(p[2], 3600000, ms))
            return Fail(error, "bad delay in " + text);
        fault.m_eKind = k.m_eKind;
        fault.m_nBlock = static_cast<int>(block);
        fault.m_nDelayMs = static_cast<uint32_t>(ms);
        return true;
    }
    if (kind == "modem-error" && p.size() == 2 && !p[1].empty()) {
        fault.m_eKind = ESimFault::ModemError;
        for (char c : p[1])
            fault.m_sTarget += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return true;
    }
    if (kind == "dial-never" && p.size() == 1) {
        fault.m_eKind = ESimFault::DialNever;
        return true;
    }
    if (kind == "dial-ring" && p.size() == 1) {
        fault.m_eKind = ESimFault::DialRing;
        return true;
    }
    if (kind == "dial-answer") {
        // One answer line: printable, and short as a modem's words are.
        const bool printable =
            p.size() == 2 && !p[1].empty() && p[1].size() <= 40 &&
            std::all_of(p[1].begin(), p[1].end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        if (!printable)
            return Fail(error, "expected dial-answer:WORD with WORD up to 40 printable characters");
        fault.m_eKind = ESimFault::DialAnswer;
        fault.m_sTarget = p[1];
        return true;
    }
    return Fail(error, "unknown fault: " + text);
}

const char* SimFaultHelp() {
    return "  silent:X          no answer to command X (X one of V S F C T G P R E I)\n"
           "  delay:X:MS        the answer to X comes MS milliseconds late\n"
           "  ack:X             the acknowledgement of X carries a wrong status digit\n"
           "  letter:X          the data record of X (\"i,\" for I) has a wrong letter\n"
           "  nohash:X          the final '#' of X's answer is left out\n"
           "  garbage:X         stray bytes before X's answer\n"
           "  checksum:K        block K (counted from 0) has a wrong check byte\n"
           "  hexlen:K          block K has a length field that is not hexadecimal\n"
           "  short:K           block K carries half the data bytes its length announces\n"
           "  silent-block:K    block K is never sent\n"
           "  delay-block:K:MS  block K comes MS milliseconds late\n"
           "  modem-error:CMD   the modem answers ERROR to CMD (e.g. ATX3)\n"
           "  dial-never        the modem never answers the dial\n"
           "  dial-answer:WORD  the modem answers the dial with WORD (e.g. BLACKLISTED,\n"
           "                    DELAYED, \"NO ANSWER\") and gives up the call\n"
           "  dial-ring         the modem answers the dial with RING, then nothing\n"
           "A fault applies once, to the first occasion it fits (per-block faults to the\n"
           "first transfer that reaches block K); a trailing '+' makes it apply every time.\n";
}

bool IsModemFault(ESimFault kind) {
    return kind == ESimFault::ModemError || kind == ESimFault::DialNever ||
           kind == ESimFault::DialAnswer || kind == ESimFault::DialRing;
}

bool CSimFaultList::TakeKind(ESimFault kind, CSimFault* found) {
    const auto it = std::find_if(m_faults.begin(), m_faults.end(),
                                 [kind](const CSimFault& f) { return f.m_eKind == kind; });
    if (it == m_faults.end())
        return false;
    const CSimFault fault = *it;
    return Take(kind, fault.m_sTarget, fault.m_nBlock, found);
}

bool CSimFaultList::Take(ESimFault kind, const std::string& target, int block, CSimFault* found) {
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->m_eKind != kind || it->m_sTarget != target || it->m_nBlock != block)
            continue;
        if (found != nullptr)
            *found = *it;
        if (!it->m_bPersistent)
            m_faults.erase(it);
        return true;
    }
    return false;
}
