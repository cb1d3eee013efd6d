// The receive path: the leading bytes choose the picture settings of one or two fetches,
// the rest is what the module sends. Each fetch runs whole (request, blocks, check bytes,
// decoding into the image buffer and the screen image, the break answer).
#include <cstdint>
#include <string>

#include "app/PixlaneApp.h"
#include "fuzz/FuzzSupport.h"
#include "link/ComPort.h"

namespace {

// How tall a picture may be chosen; the tallest the program takes costs tens of megabytes
// a fetch, so it is chosen only when a flag asks for it.
constexpr int kUsualMaxHeight = 320;

// The picture settings of one fetch.
struct CPicture {
    int m_iBildbreite = 180;
    int m_iBildhoehe = 144;
    int m_iModus = 3;
    int m_iMonochrom = 0;
    bool nibb2 = false;
    bool m_bExpert = false;
    std::string m_sOffset, m_sBgroesse, m_sBanzahl;

    void ApplyTo(CPixlaneApp& app) const {
        app.m_iBildbreite = m_iBildbreite;
        app.m_iBildhoehe = m_iBildhoehe;
        app.m_iModus = m_iModus;
        app.m_iMonochrom = m_iMonochrom;
        app.nibb2 = nibb2;
        app.m_bExpert = m_bExpert;
        app.m_sOffset = m_sOffset;
        app.m_sBgroesse = m_sBgroesse;
        app.m_sBanzahl = m_sBanzahl;
    }
};

CPicture ChoosePicture(CFuzzBytes& in) {
    static const int kWidths[] = {180, 360, 180, 360, 256, 512, 768, 250};
    CPicture p;
    const uint8_t flags = in.Byte();
    p.m_iBildbreite = kWidths[flags & 7];
    const uint16_t h = in.Word();
    if (flags & 0x08)
        p.m_iBildhoehe = static_cast<int16_t>(h);  // anything, even nonsense
    else if (flags & 0x10)
        p.m_iBildhoehe = 1 + h % CImage::kMaxSide;
    else
        p.m_iBildhoehe = 1 + h % kUsualMaxHeight;
    const uint8_t mode = in.Byte();
    p.m_iModus = mode % 8 - 1;  // -1 .. 6
    p.m_iMonochrom = (mode & 0x80) ? static_cast<int8_t>(mode) : (mode >> 3) & 1;
    p.nibb2 = (flags & 0x20) != 0;
    p.m_bExpert = (flags & 0x40) != 0;
    if (p.m_bExpert) {
        p.m_sOffset = in.Text(6);
        p.m_sBgroesse = in.Text(3);
        p.m_sBanzahl = in.Text(5);
    }
    return p;
}

// A pixel of the screen was drawn (opaque) or stays as the fetch cleared it (0); either
// way its colour is what the image buffer holds at its place. The rows are compared
// without a branch, so that the walk over a tall picture stays cheap.
FUZZ_NO_COVERAGE bool GreyRowMatches(const uint8_t* row, const uint32_t* shown, int W) {
    uint32_t bad = 0;
    for (int x = 0; x < W; ++x) {
        const uint32_t p = shown[x];
        bad |= static_cast<uint32_t>((p >> 24) != 0xFF && p != 0) |
               static_cast<uint32_t>((p & 0xFFFFFFu) != row[x] * 0x010101u);
    }
    return bad == 0;
}

FUZZ_NO_COVERAGE bool ColourRowMatches(const uint8_t* row, const uint32_t* shown, int W) {
    uint32_t bad = 0;
    for (int x = 0; x < W; ++x) {
        const uint32_t p = shown[x];
        const uint8_t* px = row + 3 * static_cast<size_t>(x);  // blue, green, red
        const uint32_t stored = px[0] | uint32_t{px[1]} << 8 | uint32_t{px[2]} << 16;
        bad |= static_cast<uint32_t>((p >> 24) != 0xFF && p != 0) |
               static_cast<uint32_t>((p & 0xFFFFFFu) != stored);
    }
    return bad == 0;
}

// The image buffer holds exactly what the screen shows: every drawn pixel in the bytes
// of its position, and black where nothing was drawn. A pixel stored in the wrong row or
// column breaks this even when it stays inside the buffer.
FUZZ_NO_COVERAGE void CheckImageMatchesScreen(CPixlaneApp& app, const CFuzzUi& ui) {
    CImage& image = app.m_image;
    if (!image.HasBits())
        return;
    const int W = image.Width();
    const int H = image.Height();
    const CScreenImage& screen = ui.Screen();
    FUZZ_CHECK(W == screen.m_nWidth && H == screen.m_nHeight);
    FUZZ_CHECK(image.BitsSize() == image.RowBytes() * static_cast<size_t>(H));
    const bool colour = image.IsColour();
    bool same = true;
    for (int y = 0; y < H; ++y) {
        const uint8_t* row = image.Row(y);
        const uint32_t* shown = screen.m_pPixels + static_cast<size_t>(y) * screen.m_nStride;
        same &= colour ? ColourRowMatches(row, shown, W) : GreyRowMatches(row, shown, W);
    }
    FUZZ_CHECK(same);
}

int CountWrites(const CFakeLine& line, size_t from, const std::string& text) {
    int n = 0;
    for (size_t k = from; k < line.Writes().size(); ++k)
        n += line.Writes()[k].m_sBytes == text ? 1 : 0;
    return n;
}

void FetchOnce(const CPicture& picture, CPixlaneApp& app, CFuzzUi& ui, CFakeLine& line) {
    picture.ApplyTo(app);
    bool refused = false;
    const std::string frame = app.BuildRequestFrame(refused);
    const size_t before = line.Writes().size();
    const bool whole = app.FetchImage();

    FUZZ_CHECK(ui.MarginsIntact());
    FUZZ_CHECK(!ui.m_bRepaintOutside);
    FUZZ_CHECK(!ui.m_bViewMismatch);
    CheckImageMatchesScreen(app, ui);
    if (frame.empty()) {
        // Nothing may go out for a request that cannot be built.
        FUZZ_CHECK(!whole && line.Writes().size() == before);
        return;
    }
    FUZZ_CHECK(frame.size() == 18);
    FUZZ_CHECK(line.Writes().size() > before && line.Writes()[before].m_sBytes == frame);
    const int acks = CountWrites(line, before, "q,i,0#");
    const int breaks = CountWrites(line, before, "q,i,1#");
    if (whole) {
        FUZZ_CHECK(ui.m_sLastStatus == "Fertig !" && app.Start == 2);
        FUZZ_CHECK(acks == app.m_nBlockCount && breaks == 0);
        FUZZ_CHECK(app.m_image.HasBits() && app.m_pRecvBuf.empty());
    } else {
        FUZZ_CHECK(app.Start == 1 && breaks <= 1 && acks <= app.m_nBlockCount);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzBytes in(data, size);
    const bool twice = (in.Byte() & 1) != 0;
    const CPicture first = ChoosePicture(in);
    const CPicture second = twice ? ChoosePicture(in) : CPicture{};

    // The screen lives on: a picture of the size before draws into the same one, as it
    // does in the window, instead of a new one a run.
    static CFuzzUi ui;
    ui.StartRun();
    CPixlaneApp app;
    CFuzzRig rig(app.Line(), in.Rest(), in.RestSize());
    app.SetUi(&ui);
    app.BuildYuvTables();
    FUZZ_CHECK(app.OpenConfiguredPort());
    CFakeLine* line = rig.Opened();
    FUZZ_CHECK(line != nullptr);
    FetchOnce(first, app, ui, *line);
    if (twice)
        FetchOnce(second, app, ui, *line);
    return 0;
}
