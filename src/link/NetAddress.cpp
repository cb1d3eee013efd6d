#include "link/NetAddress.h"

#include <QHostAddress>
#include <QString>
#include <cctype>

#include "link/PrintableText.h"

namespace {

constexpr const char* kRfc2217Scheme = "rfc2217://";
constexpr const char* kTcpScheme = "tcp://";
// A host name has at most 253 characters (RFC 1035 with the dots, without the last one).
constexpr size_t kMaxHostName = 253;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

// Letters, digits, hyphens and dots, labels of 1..63 characters that neither begin nor end
// with a hyphen; the underscore that some networks use in their names is taken as well.
bool IsHostName(const std::string& host) {
    if (host.empty() || host.size() > kMaxHostName)
        return false;
    size_t label = 0;
    char previous = '.';
    for (char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '.') {
            if (label == 0 || previous == '-')
                return false;
            label = 0;
        } else if (std::isalnum(u) || c == '-' || c == '_') {
            if (label == 0 && c == '-')
                return false;
            if (++label > 63)
                return false;
        } else {
            return false;
        }
        previous = c;
    }
    return label > 0 && previous != '-';
}

}  // namespace

std::string CNetAddress::HostPort() const {
    const bool v6 = m_sHost.find(':') != std::string::npos;
    return (v6 ? "[" + m_sHost + "]" : m_sHost) + ":" + std::to_string(m_nPort);
}

bool IsNetAddressText(const std::string& text) {
    return StartsWithNoCase(text, kRfc2217Scheme) || StartsWithNoCase(text, kTcpScheme);
}

std::optional<CNetAddress> ParseNetAddress(const std::string& text, std::string* problem) {
    const auto fail = [&](const std::string& why) -> std::optional<CNetAddress> {
        if (problem != nullptr)
            *problem = "Netzadresse " + PrintableText(text) + ": " + why;
        return std::nullopt;
    };
    CNetAddress a;
    std::string rest;
    std::string form;
    if (StartsWithNoCase(text, kRfc2217Scheme)) {
        a.m_eKind = CNetAddress::EKind::kRfc2217;
        rest = text.substr(std::string(kRfc2217Scheme).size());
        form = "rfc2217://RECHNER:PORT";
    } else if (StartsWithNoCase(text, kTcpScheme)) {
        a.m_eKind = CNetAddress::EKind::kTcp;
        rest = text.substr(std::string(kTcpScheme).size());
        form = "tcp://RECHNER:PORT";
    } else {
        return fail("beginnt weder mit rfc2217:// noch mit tcp://");
    }
    std::string host;
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos)
            return fail("die eckige Klammer um die IPv6-Adresse wird nicht geschlossen");
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (after.empty() || after[0] != ':')
            return fail("Port fehlt (" + form + ")");
        port = after.substr(1);
        QHostAddress v6;
        if (host.empty() || !v6.setAddress(QString::fromStdString(host)) ||
            v6.protocol() != QAbstractSocket::IPv6Protocol)
            return fail("[" + PrintableText(host) + "] ist keine IPv6-Adresse");
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string::npos)
            return fail("Port fehlt (" + form + ")");
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.empty())
            return fail("Rechner fehlt (" + form + ")");
        if (host.find(':') != std::string::npos)
            return fail("eine IPv6-Adresse steht in eckigen Klammern ([fd00::7]:4001)");
        if (!IsHostName(host))
            return fail("\"" + PrintableText(host) +
                        "\" ist kein Rechnername und keine IP-Adresse");
    }
    if (port.empty())
        return fail("Port fehlt (" + form + ")");
    unsigned long number = 0;
    for (char c : port) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || number > 65535) {
            number = 0;
            break;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    if (number < 1 || number > 65535)
        return fail("Port \"" + PrintableText(port) + "\" ist keine Zahl von 1 bis 65535");
    a.m_sHost = host;
    a.m_nPort = static_cast<uint16_t>(number);
    return a;
}

std::string NetAddressProblem(const std::string& line) {
    std::string problem;
    if (IsNetAddressText(line) && !ParseNetAddress(line, &problem))
        return problem;
    return {};
}

CPortName ResolvePortLine(int port, const std::string& stored) {
    CPortName name = ResolvePort(port, stored);
    if (name.m_eSource == EPortSource::System && IsNetAddressText(stored))
        return {stored, EPortSource::Stored};
    return name;
}
