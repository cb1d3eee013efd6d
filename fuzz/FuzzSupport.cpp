#include "fuzz/FuzzSupport.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "link/ComPort.h"

void FuzzFail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

std::string CFuzzBytes::Text(size_t maxLen) {
    const size_t len = std::min<size_t>(Byte() % (maxLen + 1), RestSize());
    std::string text(reinterpret_cast<const char*>(Rest()), len);
    m_nPos += len;
    return text;
}

CScriptPeer::CScriptPeer(const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos < size) {
        const uint8_t timing = data[pos++];
        const size_t len = pos < size ? data[pos++] : 0;
        const size_t take = std::min(len, size - pos);
        m_chunks.push_back({(timing & 0x80) != 0, (timing & 0x7Fu) * kTickMs,
                            std::string(reinterpret_cast<const char*>(data + pos), take)});
        pos += take;
    }
}

void CScriptPeer::Release(uint64_t time, std::vector<CTimedByte>& out) {
    bool first = true;
    while (m_nNext < m_chunks.size() && (first || !m_chunks[m_nNext].m_bAfterWrite)) {
        const CChunk& chunk = m_chunks[m_nNext++];
        time += uint64_t{chunk.m_nDelayMs} * 1000;
        for (char c : chunk.m_sBytes)
            out.push_back({time, static_cast<uint8_t>(c)});
        first = false;
    }
}

void CScriptPeer::Start(uint64_t nowUs, std::vector<CTimedByte>& out) {
    if (m_nNext < m_chunks.size() && !m_chunks[m_nNext].m_bAfterWrite)
        Release(nowUs, out);
}

void CScriptPeer::OnHostBytes(const uint8_t*, size_t, uint64_t nowUs,
                              std::vector<CTimedByte>& out) {
    if (m_nNext < m_chunks.size() && m_chunks[m_nNext].m_bAfterWrite)
        Release(nowUs, out);
}

CFuzzRig::CFuzzRig(CLineSession& line, const uint8_t* script, size_t size)
    : m_line(line), m_peer(script, size) {
    m_line.SetClock(&m_clock);
    m_line.SetLineFactory(&m_factory);
    for (int port = 1; port <= 9; ++port)
        m_factory.Attach(port, &m_peer);
}

CFuzzRig::~CFuzzRig() {
    CComPort(m_line).Open(0);
    m_line.SetUi(nullptr);
    m_line.SetLineFactory(nullptr);
    m_line.SetClock(nullptr);
}

CFakeLine* CFuzzRig::Open() {
    CComPort port(m_line);
    if (!port.Open(1) || !port.Setup(57600, 8, 0, 1, 2))
        return nullptr;
    return Opened();
}

CFakeLine* CFuzzRig::Opened() {
    CFakeLine* line = m_factory.Last();
    if (line == nullptr)
        return nullptr;
    std::vector<CTimedByte> early;
    m_peer.Start(m_clock.NowUs(), early);
    for (const CTimedByte& b : early)
        line->Inject(std::string(1, static_cast<char>(b.m_nByte)), b.m_nAtUs);
    return line;
}

CScreenImage* CFuzzUi::ScreenImage(int width, int height) {
    if (width < 1 || height < 1)
        return nullptr;
    if (m_screen.m_nWidth != width || m_screen.m_nHeight != height) {
        const int stride = width + kMargin;
        const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
        if (size > m_nCapacity) {
            m_pixels.reset(new uint32_t[size]);
            m_nCapacity = size;
        }
        ASAN_UNPOISON_MEMORY_REGION(m_pixels.get(), size * sizeof(uint32_t));
        ASAN_POISON_MEMORY_REGION(m_pixels.get() + size, (m_nCapacity - size) * sizeof(uint32_t));
        m_screen = {m_pixels.get(), width, height, stride};
        for (int y = 0; y < height; ++y)
            for (int x = width; x < stride; ++x)
                m_pixels[static_cast<size_t>(y) * stride + x] = kCanary;
    }
    return &m_screen;
}

void CFuzzUi::StartRun() {
    m_sLastStatus.clear();
    m_sLastMessage.clear();
    m_bRepaintOutside = false;
    m_bViewMismatch = false;
}

void CFuzzUi::RepaintRows(int first, int last) {
    if (first < 0 || last < first || last >= m_screen.m_nHeight)
        m_bRepaintOutside = true;
}

void CFuzzUi::SetImageSize(int height, int width) {
    if (height != m_screen.m_nHeight || width != m_screen.m_nWidth)
        m_bViewMismatch = true;
}

bool CFuzzUi::MarginsIntact() const {
    bool intact = true;
    for (int y = 0; y < m_screen.m_nHeight; ++y) {
        const uint32_t* row = m_pixels.get() + static_cast<size_t>(y) * m_screen.m_nStride;
        for (int x = m_screen.m_nWidth; x < m_screen.m_nStride; ++x)
            intact &= row[x] == kCanary;
    }
    return intact;
}
