#include "sim/ModuleSim.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr char kCommandLetters[] = "VSFCTGPREIq";
constexpr size_t kLongestFrame = 40;
constexpr char kGarbage[] = "\xFF\x00~?";

bool IsCommandLetter(char c) {
    return c != '\0' && std::string(kCommandLetters).find(c) != std::string::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of text[pos, pos + len) as hexadecimal, or -1.
long HexField(const std::string& text, size_t pos, size_t len) {
    long value = 0;
    for (size_t i = pos; i < pos + len; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

std::string Hex2(unsigned v) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

}  // namespace

CModuleSim::CModuleSim() = default;

void CModuleSim::SetPacing(uint32_t baud, uint32_t latencyMs) {
    m_pacer.m_nBaud = baud;
    m_pacer.m_nLatencyMs = latencyMs;
}

bool CModuleSim::TakeEndConnection() {
    const bool b = m_bEndConnection;
    m_bEndConnection = false;
    return b;
}

std::vector<std::string> CModuleSim::Frames() const {
    std::vector<std::string> all;
    for (const auto& f : m_frames)
        all.push_back(f.m_sText);
    return all;
}

std::vector<std::string> CModuleSim::Rejected() const {
    std::vector<std::string> bad;
    for (const auto& f : m_frames)
        if (!f.m_bAnswered)
            bad.push_back(f.m_sText);
    return bad;
}

void CModuleSim::ClearRecord() {
    m_hostBytes.Clear();
    m_frames.Clear();
    m_nSkipped = 0;
}

void CModuleSim::OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                             std::vector<CTimedByte>& out) {
    for (size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        m_hostBytes.Add({nowUs, data[i]});
        if (!m_bInFrame) {
            if (IsCommandLetter(c)) {
                m_bInFrame = true;
                m_sFrame.assign(1, c);
                m_sNoise.clear();
            } else if (c == '#') {
                // A frame that starts with no command letter at all.
                EndFrame(m_sNoise + c, false, nowUs);
                m_sNoise.clear();
            } else {
                ++m_nSkipped;
                if (m_sNoise.size() < kLongestFrame)
                    m_sNoise += c;
            }
            continue;
        }
        m_sFrame += c;
        if (c != '#') {
            if (m_sFrame.size() > kLongestFrame) {
                EndFrame(m_sFrame, false, nowUs);
                m_bInFrame = false;
            }
            continue;
        }
        m_bInFrame = false;
        const std::string frame = m_sFrame;
        if (Handle(frame, nowUs, out)) {
            EndFrame(frame, true, nowUs);
            continue;
        }
        // Line noise may have run into the start of a good frame: try its tail.
        bool bFound = false;
        for (size_t p = 1; p < frame.size() && !bFound; ++p) {
            if (!IsCommandLetter(frame[p]))
                continue;
            const std::string tail = frame.substr(p);
            if (Handle(tail, nowUs, out)) {
                EndFrame(frame.substr(0, p), false, nowUs);
                EndFrame(tail, true, nowUs);
                bFound = true;
            }
        }
        if (!bFound)
            EndFrame(frame, false, nowUs);
    }
}

void CModuleSim::EndFrame(const std::string& text, bool answered, uint64_t nowUs) {
    m_frames.Add({nowUs, text, answered});
    if (m_onFrame)
        m_onFrame(text, answered);
}

// Sends acknowledgement and data record of a command, with the faults asked for it.
void CModuleSim::SendAnswer(char letter, char status, const std::string& record, uint64_t nowUs,
                            std::vector<CTimedByte>& out) {
    const std::string target(1, letter);
    if (m_faults.Take(ESimFault::Silent, target, -1))
        return;
    std::string text = std::string("q,") + letter + "," + status + "#";
    std::string data = record;
    if (m_faults.Take(ESimFault::AckDigit, target, -1)) {
        text[4] = status == '0' ? '1' : '0';
        data.clear();
    }
    if (!data.empty() && m_faults.Take(ESimFault::DataLetter, target, -1))
        data[0] = static_cast<char>(data[0] + 1);
    text += data;
    if (m_faults.Take(ESimFault::NoHash, target, -1)) {
        const size_t hash = text.rfind('#');
        text.erase(hash, 1);
    }
    if (m_faults.Take(ESimFault::Garbage, target, -1))
        text.insert(0, std::string(kGarbage, sizeof kGarbage - 1));
    CSimFault delay;
    uint64_t extraUs = 0;
    if (m_faults.Take(ESimFault::Delay, target, -1, &delay))
        extraUs = uint64_t{delay.m_nDelayMs} * 1000;
    m_pacer.Emit(text, nowUs, extraUs, out);
}

bool CModuleSim::Handle(const std::string& f, uint64_t nowUs, std::vector<CTimedByte>& out) {
    if (f == "q,i,0#" || f == "q,i,1#") {
        if (!m_bInTransfer)
            return false;
        if (f[4] == '1' || m_nBlocksSent >= m_nBlockCount) {
            m_bInTransfer = false;
            return true;
        }
        SendBlock(nowUs, out, "");
        return true;
    }
    if (f == "V#" || f == "S#" || f == "F#" || f == "C#")
        return HandleQuery(f[0], nowUs, out);
    if (f == "T,0#" || f == "T,1#") {
        m_bInTransfer = false;
        const uint64_t secs = ((nowUs - std::min(nowUs, m_nTimeBaseUs)) / 1000000) % 100000;
        char record[16];
        std::snprintf(record, sizeof record, "t,%02d,%05u#", m_nChannel % 100,
                      static_cast<unsigned>(secs));
        SendAnswer('T', '0', record, nowUs, out);
        if (f[2] == '1')
            m_nTimeBaseUs = nowUs;
        return true;
    }
    if (f.size() == 5 && f.compare(0, 3, "G,0") == 0 && f[4] == '#' &&
        std::isdigit(static_cast<unsigned char>(f[3]))) {
        m_bInTransfer = false;
        const int channel = f[3] - '0';
        const bool bPresent = m_channels.count(channel) != 0;
        if (bPresent)
            m_nChannel = channel;
        SendAnswer('G', bPresent ? '0' : '1', "", nowUs, out);
        return true;
    }
    if (f.size() == 30 && f.compare(0, 2, "P,") == 0 && f[29] == '#') {
        // Six three-digit fields, then two one-digit fields, each after a comma.
        std::array<unsigned, 8> values{};
        size_t pos = 1;
        for (int i = 0; i < 8; ++i) {
            const size_t len = i < 6 ? 3 : 1;
            if (f[pos] != ',')
                return false;
            const long v = HexField(f, pos + 1, len);
            if (v < 0)
                return false;
            values[i] = static_cast<unsigned>(v);
            pos += 1 + len;
        }
        m_bInTransfer = false;
        m_params = values;
        m_bHasParameters = true;
        SendAnswer('P', '0', "", nowUs, out);
        return true;
    }
    if (f == "R,1#") {
        m_bInTransfer = false;
        m_nTimeBaseUs = nowUs;
        SendAnswer('R', '0', "", nowUs, out);
        return true;
    }
    if (f == "E,1#") {
        m_bInTransfer = false;
        // A module that stays silent has not taken the command: the connection stays up.
        if (m_faults.Take(ESimFault::Silent, "E", -1))
            return true;
        SendAnswer('E', '0', "", nowUs, out);
        m_bEndConnection = true;
        return true;
    }
    if (f.size() == 18 && f[0] == 'I')
        return HandleImage(f, nowUs, out);
    return false;
}

bool CModuleSim::HandleQuery(char letter, uint64_t nowUs, std::vector<CTimedByte>& out) {
    m_bInTransfer = false;
    const std::string* value = &m_status.m_sCamera;
    if (letter == 'S')
        value = &m_status.m_sVersion;
    else if (letter == 'F')
        value = &m_status.m_sError;
    else if (letter == 'C')
        value = &m_status.m_sInput;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    SendAnswer(letter, '0', std::string(1, lower) + "," + *value + "#", nowUs, out);
    return true;
}

void CModuleSim::RequestSize(int blockSize, int count, int mode, int& width, int& height) const {
    if (m_bHasParameters && m_params[2] > 0 && m_params[3] >= 2) {
        width = static_cast<int>(m_params[2]);
        height = static_cast<int>(m_params[3] / 2);
        return;
    }
    if (m_nWidth > 0 && m_nHeight > 0) {
        width = m_nWidth;
        height = m_nHeight;
        return;
    }
    if (blockSize == 0xFF) {
        struct CWide {
            int m_nCount, m_nWidth, m_nHeight;
        };
        static constexpr CWide kWide[] = {{0xC9, 256, 200}, {0x405, 512, 512}, {0x6C7, 768, 576}};
        for (const auto& w : kWide)
            if (count == w.m_nCount) {
                width = w.m_nWidth;
                height = w.m_nHeight;
                return;
            }
        width = 256;
        height = std::max(1, count * 255 / 256);
        return;
    }
    // Blocks per image at width 180 for mode 1, 2 (rows / 2), 3 (rows) and 4 (2 per row);
    // the standard 360 x 288 picture takes four times as many.
    const int per180 = mode == 3 ? 144 : mode == 4 ? 288 : 72;
    if (count == per180 * 4) {
        width = 360;
        height = 288;
        return;
    }
    width = 180;
    height = mode == 3 ? count : mode == 4 ? count / 2 : count * 2;
    height = std::max(1, height);
}

void CModuleSim::SetScene(ESimScene scene) {
    m_eScene = scene;
    m_nRepeatedFrame = m_nCounter + 1;
}

CGreyPicture CModuleSim::NextPicture(int width, int height) const {
    if (m_eScene == ESimScene::Uniform)
        return UniformPicture(width, height, kSimUniformGrey);
    const unsigned frame = m_eScene == ESimScene::Repeated ? m_nRepeatedFrame : m_nCounter + 1;
    CGreyPicture pic = m_source ? ScalePicture(*m_source, width, height)
                                : MakeTestPicture(width, height, m_nChannel, frame);
    return m_eScene == ESimScene::Dark ? DarkenPicture(pic) : pic;
}

bool CModuleSim::HandleImage(const std::string& f, uint64_t nowUs, std::vector<CTimedByte>& out) {
    // I,ooooo,bb,cccc,m#
    if (f.compare(0, 2, "I,") != 0 || f[7] != ',' || f[10] != ',' || f[15] != ',' || f[17] != '#')
        return false;
    const long offset = HexField(f, 2, 5);
    const long blockSize = HexField(f, 8, 2);
    const long count = HexField(f, 11, 4);
    const int mode = f[16] - '0';
    if (offset < 0 || blockSize < 0 || count < 0 || mode < 1 || mode > 4)
        return false;
    m_bInTransfer = false;
    int width = 0;
    int height = 0;
    RequestSize(static_cast<int>(blockSize), static_cast<int>(count), mode, width, height);
    const std::string target = "I";
    if (m_faults.Take(ESimFault::Silent, target, -1))
        return true;
    std::string text = "q,I,0#";
    if (m_faults.Take(ESimFault::AckDigit, target, -1)) {
        text[4] = '1';
    } else {
        text += m_faults.Take(ESimFault::DataLetter, target, -1) ? "j," : "i,";
        m_last = NextPicture(width, height);
        ++m_nCounter;
        const bool bGrey =
            !m_bColourBars || m_eScene == ESimScene::Dark || m_eScene == ESimScene::Uniform;
        m_lastChroma = bGrey ? MakeNeutralChroma(width, height) : MakeChroma(width, height);
        const bool bPlain = width == 256 || width == 512 || width == 768;
        m_stream = EncodePicture(m_last, m_lastChroma, mode, bPlain);
        m_nOffset = static_cast<size_t>(offset);
        m_nBlockSize = static_cast<int>(blockSize);
        m_nBlockCount = static_cast<int>(count);
        m_nBlocksSent = 0;
        m_bInTransfer = true;
    }
    if (m_faults.Take(ESimFault::NoHash, target, -1))
        text.erase(5, 1);
    if (m_faults.Take(ESimFault::Garbage, target, -1))
        text.insert(0, std::string(kGarbage, sizeof kGarbage - 1));
    CSimFault delay;
    const uint64_t extraUs =
        m_faults.Take(ESimFault::Delay, target, -1, &delay) ? uint64_t{delay.m_nDelayMs} * 1000 : 0;
    if (!m_bInTransfer || m_nBlockCount == 0) {
        m_bInTransfer = false;
        m_pacer.Emit(text, nowUs, extraUs, out);
        return true;
    }
    SendBlock(nowUs + extraUs, out, text);
    return true;
}

// Sends the next block, after prefix (the answer to the request for the first block).
void CModuleSim::SendBlock(uint64_t nowUs, std::vector<CTimedByte>& out, std::string prefix) {
    const int k = m_nBlocksSent++;
    if (m_faults.Take(ESimFault::SilentBlock, "", k)) {
        m_pacer.Emit(prefix, nowUs, 0, out);
        return;
    }
    std::string data;
    data.reserve(static_cast<size_t>(m_nBlockSize));
    uint8_t sum = 0;
    const size_t start = m_nOffset + static_cast<size_t>(k) * static_cast<size_t>(m_nBlockSize);
    for (int j = 0; j < m_nBlockSize; ++j) {
        const size_t at = start + static_cast<size_t>(j);
        const uint8_t b = at < m_stream.size() ? m_stream[at] : 0;
        sum = static_cast<uint8_t>(sum + b);
        data += static_cast<char>(b);
    }
    uint8_t check = static_cast<uint8_t>(-sum);
    std::string len = Hex2(static_cast<unsigned>(m_nBlockSize));
    if (m_faults.Take(ESimFault::BadCheck, "", k))
        check = static_cast<uint8_t>(check + 1);
    if (m_faults.Take(ESimFault::HexLength, "", k))
        len[0] = 'G';
    if (m_faults.Take(ESimFault::ShortBlock, "", k))
        data.resize(data.size() / 2);
    const std::string block = len + data + static_cast<char>(check);
    CSimFault delay;
    if (m_faults.Take(ESimFault::DelayBlock, "", k, &delay)) {
        m_pacer.Emit(prefix, nowUs, 0, out);
        m_pacer.Emit(block, nowUs, uint64_t{delay.m_nDelayMs} * 1000, out);
        return;
    }
    m_pacer.Emit(prefix + block, nowUs, 0, out);
}
