#include "link/Telnet.h"

using namespace telnet;

CTelnetCodec::COption* CTelnetCodec::Find(uint8_t code) {
    for (COption& o : m_options)
        if (o.m_nCode == code)
            return &o;
    return nullptr;
}

void CTelnetCodec::Reply(uint8_t verb, uint8_t code) {
    m_sReplies += static_cast<char>(kIac);
    m_sReplies += static_cast<char>(verb);
    m_sReplies += static_cast<char>(code);
}

std::string CTelnetCodec::Start() {
    std::string out;
    for (COption& o : m_options) {
        if (o.m_bWantOurs && !o.m_bOurs && !o.m_bOursAsked) {
            o.m_bOursAsked = true;
            out +=
                {static_cast<char>(kIac), static_cast<char>(kWill), static_cast<char>(o.m_nCode)};
        }
        if (o.m_bWantTheirs && !o.m_bTheirs && !o.m_bTheirsAsked) {
            o.m_bTheirsAsked = true;
            out += {static_cast<char>(kIac), static_cast<char>(kDo), static_cast<char>(o.m_nCode)};
        }
    }
    return out;
}

bool CTelnetCodec::Settled() const {
    for (const COption& o : m_options)
        if (o.m_bOursAsked || o.m_bTheirsAsked)
            return false;
    return true;
}

// A request of the server is answered only when it changes a state: a request for the
// state already in force, or the answer to one of ours, gets no reply, so that no two
// ends ever bounce the same option back and forth. One side of an option at a time: ours
// (the server's DO and DONT, answered WILL or WONT) or the server's (WILL and WONT,
// answered DO or DONT).
void CTelnetCodec::Negotiate(uint8_t verb, uint8_t code) {
    m_bHeard = true;
    COption* o = Find(code);
    const bool ours = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    const uint8_t yes = ours ? kWill : kDo;
    const uint8_t no = ours ? kWont : kDont;
    if (o == nullptr) {
        // Never in force: a request to enable it is refused, one to disable it needs no
        // answer.
        if (enable)
            Reply(no, code);
        return;
    }
    const bool want = ours ? o->m_bWantOurs : o->m_bWantTheirs;
    bool& on = ours ? o->m_bOurs : o->m_bTheirs;
    bool& asked = ours ? o->m_bOursAsked : o->m_bTheirsAsked;
    if (enable && !want) {
        Reply(no, code);
    } else if (asked) {
        asked = false;
        on = enable;
    } else if (on != enable) {
        on = enable;
        Reply(enable ? yes : no, code);
    }
}

void CTelnetCodec::Encode(const uint8_t* data, size_t n, std::string& wire) const {
    const bool binary = SendsBinary();
    wire.reserve(wire.size() + n + n / 64 + 2);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        wire += static_cast<char>(b);
        if (b == kIac)
            wire += static_cast<char>(kIac);
        else if (b == '\r' && !binary)
            wire += '\0';
    }
}

std::string CTelnetCodec::ComPortCommand(uint8_t command, const std::string& value) const {
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                       static_cast<char>(command)};
    for (char c : value) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac)
            out += c;
    }
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

void CTelnetCodec::EndSubOption(const ComPortHandler& onComPort) {
    m_bHeard = true;
    if (!m_bSubTooLong && m_sSub.size() >= 2 && static_cast<uint8_t>(m_sSub[0]) == kComPort &&
        onComPort)
        onComPort(static_cast<uint8_t>(m_sSub[1]), m_sSub.substr(2));
    m_sSub.clear();
    m_bSubTooLong = false;
}

void CTelnetCodec::AfterIac(uint8_t b, std::string& payload) {
    if (b == kIac) {
        payload += static_cast<char>(kIac);
        m_eState = EState::kData;
    } else if (b >= kWill) {
        m_nVerb = b;
        m_eState = EState::kVerb;
    } else if (b == kSb) {
        m_sSub.clear();
        m_bSubTooLong = false;
        m_eState = EState::kSb;
    } else {
        // NOP, go-ahead, data mark and the like carry nothing for a line.
        m_bHeard = true;
        m_eState = EState::kData;
    }
}

void CTelnetCodec::Decode(const uint8_t* data, size_t n, std::string& payload,
                          const ComPortHandler& onComPort) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        switch (m_eState) {
            case EState::kCr:
                m_eState = EState::kData;
                // A carriage return of a server that does not send binary data is
                // followed by a NUL that is not part of the data.
                if (b == 0)
                    break;
                [[fallthrough]];
            case EState::kData:
                if (b == kIac) {
                    m_eState = EState::kIac;
                } else {
                    payload += static_cast<char>(b);
                    if (b == '\r' && !ReceivesBinary())
                        m_eState = EState::kCr;
                }
                break;
            case EState::kIac:
                AfterIac(b, payload);
                break;
            case EState::kVerb:
                Negotiate(m_nVerb, b);
                m_eState = EState::kData;
                break;
            case EState::kSb:
                if (b == kIac) {
                    m_eState = EState::kSbIac;
                } else if (m_sSub.size() < kMaxSubOption) {
                    m_sSub += static_cast<char>(b);
                } else {
                    m_bSubTooLong = true;
                }
                break;
            case EState::kSbIac:
                if (b == kIac) {
                    if (m_sSub.size() < kMaxSubOption)
                        m_sSub += static_cast<char>(kIac);
                    else
                        m_bSubTooLong = true;
                    m_eState = EState::kSb;
                } else if (b == kSe) {
                    EndSubOption(onComPort);
                    m_eState = EState::kData;
                } else {
                    // A command inside a sub-negotiation ends it unfinished; the command
                    // counts as itself.
                    m_sSub.clear();
                    m_bSubTooLong = false;
                    AfterIac(b, payload);
                }
                break;
        }
    }
}

std::string CTelnetCodec::TakeReplies() {
    std::string out;
    out.swap(m_sReplies);
    return out;
}
