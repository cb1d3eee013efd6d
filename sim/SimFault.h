#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fault the simulation injects on purpose. A fault is used up by the first occasion it
// applies to, unless it is persistent; it never touches any other answer or block.
enum class ESimFault {
    Silent,       // no answer at all to command m_sTarget (an unanswered "E,1#" ends nothing)
    Delay,        // the answer to m_sTarget m_nDelayMs late
    AckDigit,     // the acknowledgement of m_sTarget with a wrong status digit
    DataLetter,   // the data record (or "i,") of m_sTarget with a wrong letter
    NoHash,       // the final "#" of m_sTarget's answer left out
    Garbage,      // stray bytes before m_sTarget's answer
    BadCheck,     // block m_nBlock with a wrong check byte
    HexLength,    // block m_nBlock with a length that is not hexadecimal
    ShortBlock,   // block m_nBlock with half the data bytes its length announces
    SilentBlock,  // block m_nBlock never sent
    DelayBlock,   // block m_nBlock m_nDelayMs late
    ModemError,   // the modem answers ERROR to the command m_sTarget (e.g. "ATX3")
    DialNever,    // the modem never answers the dial
    DialAnswer,   // the modem answers the dial with the word m_sTarget and gives up the call
    DialRing,     // the modem answers the dial with RING and then nothing, as DialNever
};

// Whether the modem in front of the module injects the fault, not the module.
bool IsModemFault(ESimFault kind);

struct CSimFault {
    ESimFault m_eKind = ESimFault::Silent;
    // Command letter ("V", "I", ...), modem command ("ATX3") or the modem's word ("DELAYED").
    std::string m_sTarget;
    int m_nBlock = -1;
    uint32_t m_nDelayMs = 0;
    bool m_bPersistent = false;
};

// Text form, as pixlane-sim takes it: KIND[:ARG[:MS]][+], "+" making it persistent:
//   silent:X  delay:X:MS  ack:X  letter:X  nohash:X  garbage:X   (X a command letter)
//   checksum:K  hexlen:K  short:K  silent-block:K  delay-block:K:MS   (K a block index)
//   modem-error:CMD  dial-never  dial-answer:WORD  dial-ring
bool ParseSimFault(const std::string& text, CSimFault& fault, std::string* error);

// The help text for the grammar above.
const char* SimFaultHelp();

// A list of faults that hands out matches and drops the one-shot ones it used.
class CSimFaultList {
  public:
    void Add(const CSimFault& fault) { m_faults.push_back(fault); }
    void Clear() { m_faults.clear(); }
    const std::vector<CSimFault>& All() const { return m_faults; }
    // The first fault of that kind for the target (or block); it is removed when one-shot.
    bool Take(ESimFault kind, const std::string& target, int block, CSimFault* found = nullptr);
    // The first fault of that kind, whatever its target; removed when one-shot.
    bool TakeKind(ESimFault kind, CSimFault* found = nullptr);

  private:
    std::vector<CSimFault> m_faults;
};
