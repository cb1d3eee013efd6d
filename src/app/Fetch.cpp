#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/AppUi.h"
#include "app/ImageFile.h"
#include "app/PixlaneApp.h"
#include "app/Progress.h"
#include "image/Bmp.h"
#include "image/ScreenImage.h"
#include "link/ComPort.h"
#include "protocol/Hex.h"

namespace {
const char* const kBadRequest = "Ungültige Bildanforderung !";

bool IsHexText(const std::string& s) {
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Pads a field on the left with "0" to its width; false when it is too long or not hex.
bool PadField(const std::string& value, size_t width, std::string& out) {
    if (value.size() > width || !IsHexText(value))
        return false;
    out = std::string(width - value.size(), '0') + value;
    return true;
}

// The frames of the wide grey formats, each with a block count of its own.
const char* WideFrame(int width) {
    switch (width) {
        case 256:
            return "I,00000,FF,00C9,3#";
        case 512:
            return "I,00000,FF,0405,3#";
        case 768:
            return "I,00000,FF,06C7,3#";
        default:
            return nullptr;
    }
}

// Blocks of 180 bytes that a picture of width 180 or 360 takes in a mode 1..4.
int BlockCountFor(int width, int height, int mode) {
    const int perRow = width == 180 ? 1 : 2;
    if (mode == 1 || mode == 2)
        return width == 180 ? height / 2 : height;
    return mode == 3 ? perRow * height : 2 * perRow * height;
}

// Where the block count stands in a request frame: "I,ooooo,bb,cccc,m#".
constexpr size_t kCountAt = 11;
constexpr size_t kCountDigits = 4;

bool IsSupportedWidth(int w) {
    return w == 180 || w == 256 || w == 360 || w == 512 || w == 768;
}
}  // namespace

void CPixlaneApp::BuildYuvTables() {
    m_yuv.BuildYuvTables();
}

void CPixlaneApp::ReleaseBuffers() {
    m_image.ReleaseBits();
    m_image.Release();
    m_pRecvBuf.clear();
    m_pRecvBuf.shrink_to_fit();
    m_pKeepBuf.clear();
    m_pKeepBuf.shrink_to_fit();
    m_bKeepValid = false;
}

std::string CPixlaneApp::BuildRequestFrame(bool& refused) const {
    refused = false;
    const int W = m_iBildbreite;
    if (!IsSupportedWidth(W))
        return {};
    if (m_iBildhoehe < 1 || m_iBildhoehe > CImage::kMaxSide) {
        refused = true;
        return {};
    }
    const bool narrow = W == 180 || W == 360;
    if (narrow && (m_iModus < 1 || m_iModus > 4)) {
        refused = true;
        return {};
    }
    if (!m_bExpert) {
        if (!narrow)
            return WideFrame(W);
        // The request asks for the blocks of the configured height, so that the module
        // sends exactly what the fetch reads; the standard heights give the usual frames.
        char frame[32];
        std::snprintf(frame, sizeof frame, "I,00000,B4,%04X,%d#",
                      static_cast<unsigned>(BlockCountFor(W, m_iBildhoehe, m_iModus)), m_iModus);
        return frame;
    }
    std::string offset, size, count;
    if (m_iModus < 1 || m_iModus > 9 || !PadField(m_sOffset, 5, offset) ||
        !PadField(m_sBgroesse, 2, size) || !PadField(m_sBanzahl, 4, count)) {
        refused = true;
        return {};
    }
    return "I," + offset + "," + size + "," + count + "," + std::to_string(m_iModus) + "#";
}

void CPixlaneApp::DecodeBlock(int blockIndex) {
    const int W = m_iBildbreite;
    const int H = m_iBildhoehe;
    if (m_pUi != nullptr)
        m_pUi->SetImageSize(H, W);
    ShowStatus("Zeile " + std::to_string(blockIndex) + " wird empfangen ...");
    CBlockJob job;
    job.m_iBlock = blockIndex;
    job.m_pData = m_pRecvBuf.data();
    job.m_nLen = m_nBlockLen;
    job.m_nWidth = W;
    job.m_nHeight = H;
    job.m_bColour = m_iMonochrom != 0;
    job.m_iMode = m_iModus;
    job.m_pImage = &m_image;
    job.m_pKeep = m_pKeepBuf.empty() ? nullptr : m_pKeepBuf.data();
    job.m_nKeepSize = m_pKeepBuf.size();
    job.m_pScreen = m_pUi != nullptr ? m_pUi->ScreenImage(W, H) : nullptr;
    const CRowSpan rows = m_yuv.DecodeBlock(job, nibb2);
    if (m_iModus == 2 && job.m_pKeep != nullptr)
        m_bKeepValid = true;
    if (m_pUi != nullptr && !rows.IsEmpty())
        m_pUi->RepaintRows(rows.m_nFirst, rows.m_nLast);
}

bool CPixlaneApp::GetImage() {
    return m_iLokal == 1 ? FetchImage() : FetchImageViaModem();
}

bool CPixlaneApp::FetchImage() {
    const int W = m_iBildbreite;
    const int H = m_iBildhoehe;
    const bool colour = m_iMonochrom != 0;
    // Every stored value is checked before anything is allocated or sent.
    bool refused = false;
    m_nLastTransfer = -1;
    const std::string frame = BuildRequestFrame(refused);
    if (frame.empty()) {
        if (refused)
            ShowStatus(kBadRequest);
        return false;
    }

    // Nibble-2 data are kept for a following Nibble-1 fetch of the same size only.
    const bool keepNibble2 = m_bKeepValid && !colour && m_nKeepWidth == W && m_nKeepHeight == H;
    std::vector<uint8_t> kept;
    if (keepNibble2)
        kept.swap(m_pKeepBuf);
    ReleaseBuffers();
    Start = 1;

    const size_t pixels = static_cast<size_t>(W) * static_cast<size_t>(H);
    // Every block is read to the start of the receive buffer, and a block is at most 255
    // bytes (its length is two hexadecimal digits): the buffer holds one block, whatever
    // the picture's size, instead of the picture's pixels twice or six times over.
    m_pRecvBuf.assign(256, 0);
    if (!colour) {
        if (keepNibble2) {
            m_pKeepBuf.swap(kept);
            m_bKeepValid = true;
        } else {
            m_pKeepBuf.assign(2 * pixels, 0);
        }
        m_nKeepWidth = W;
        m_nKeepHeight = H;
    }

    if (m_pUi != nullptr)
        m_pUi->ResizeForImage(W, H);
    ShowStatus("Zeile ");
    m_image.Create(W, H, colour);
    m_image.AllocateBits();
    // The fetch reads as many blocks as its request asks for, in expert mode too.
    m_nBlockCount = HexToInt(frame.substr(kCountAt, kCountDigits));
    if (m_pUi != nullptr) {
        if (CScreenImage* screen = m_pUi->ScreenImage(W, H); screen != nullptr) {
            for (int y = 0; y < screen->m_nHeight; ++y)
                std::memset(screen->m_pPixels + static_cast<size_t>(y) * screen->m_nStride, 0,
                            static_cast<size_t>(screen->m_nWidth) * 4);
        }
    }

    CComPort port;
    CClock& clock = CComPort::Clock();
    CFetchProgress progress;
    progress.Start(m_nBlockCount, clock.GetTickCount());
    if (m_pUi != nullptr)
        m_pUi->ShowProgress(progress);
    const int result = port.ReceiveImage(
        frame, m_pRecvBuf.data(), m_nBlockCount,
        [this, &port](int i, int n) {
            m_nBlockLen = n;
            port.m_nBlockLen = n;
            DecodeBlock(i);
            if (StopRequested())
                port.m_bBreakOff = true;
        },
        // The progress, and with it what the window paints, comes while the module sends
        // the next block.
        [this, &clock, &progress](int, int n) {
            progress.AddBlock(n, clock.GetTickCount());
            if (m_pUi != nullptr)
                m_pUi->ShowProgress(progress);
        });
    m_nLastTransfer = result;
    if (m_pUi != nullptr) {
        m_pUi->EndProgress();
        m_pUi->ImageChanged();
    }
    if (result == kTransferBroken) {
        port.Write("q,i,1#", 6);
        port.WaitPurgeRx(1000);
        return false;
    }
    if (result == kTransferRefused) {
        port.WaitPurgeRx(1000);
        return false;
    }
    ShowStatus("Fertig !");
    m_pRecvBuf.clear();
    m_pRecvBuf.shrink_to_fit();
    if (m_iModus != 2) {
        // What a Nibble-2 fetch kept serves the next fetch; anything else is done with.
        m_pKeepBuf.clear();
        m_pKeepBuf.shrink_to_fit();
        m_bKeepValid = false;
    }
    ++Start;
    return true;
}

bool CPixlaneApp::FetchImageViaModem() {
    const int code = ConnectModem();
    if (code == 0) {
        // The link is up: the module can be addressed directly from now on.
        m_iLokal = 1;
        return FetchImage();
    }
    if (code == 1) {
        // No modem answered: perhaps the module hangs on the cable itself.
        const bool ok = FetchImage();
        if (!ok)
            m_iLokal = 1;
        return ok;
    }
    ShowStatus("Verbindungsaufbau fehlgeschlagen!!");
    return false;
}

bool CPixlaneApp::SetGrabWindow() {
    return CComPort().SetParametersForWidth(m_iBildbreite);
}

void CPixlaneApp::SaveImage() {
    if (!m_image.HasBits()) {
        ShowMessage("Kein Bild vorhanden !");
        return;
    }
    if (m_pUi == nullptr)
        return;
    const std::optional<std::string> name = m_pUi->AskSaveFileName("xxx.bmp");
    if (!name || name->empty())
        return;
    std::string error;
    if (!WriteImageFile(*name, m_image, &error))
        ShowMessage("Fehler beim Speichern !\n" + *name + ": " + error);
}
