// A picture's fetch into the image (over the link, or dialled first), the re-grab before
// it, and saving it. Calls only into PixlaneApp.cpp; a capture round calls here.
#include <cstring>

#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "app/Progress.h"
#include "capture/ImageFile.h"
#include "image/Bmp.h"
#include "image/ScreenImage.h"
#include "link/ComPort.h"

std::string CPixlaneApp::BuildRequestFrame(bool& refused) const {
    std::string frame;
    refused = Target().m_request.Problem(&frame) == ERequestProblem::kInvalid;
    return frame;
}

void CPixlaneApp::DecodeBlock(int blockIndex) {
    const int W = m_request.m_nWidth;
    const int H = m_request.m_nHeight;
    if (m_pUi != nullptr)
        m_pUi->SetImageSize(H, W);
    if (CPortUi* ui = TextUi(); ui != nullptr)
        ui->SetProgressText("Zeile " + std::to_string(blockIndex) + " wird empfangen ...");
    CBlockJob job;
    job.m_iBlock = blockIndex;
    job.m_pData = m_pRecvBuf.data();
    job.m_nLen = m_nBlockLen;
    job.m_nWidth = W;
    job.m_nHeight = H;
    job.m_bColour = m_request.m_bColour;
    job.m_iMode = m_request.m_iMode;
    job.m_pImage = &m_image;
    job.m_pKeep = m_pKeepBuf.empty() ? nullptr : m_pKeepBuf.data();
    job.m_nKeepSize = m_pKeepBuf.size();
    job.m_pScreen = m_pUi != nullptr ? m_pUi->ScreenImage(W, H) : nullptr;
    const CRowSpan rows = m_yuv.DecodeBlock(job, nibb2);
    if (m_request.m_iMode == 2 && job.m_pKeep != nullptr)
        m_kept.m_bValid = true;
    if (m_pUi != nullptr && !rows.IsEmpty())
        m_pUi->RepaintRows(rows.m_nFirst, rows.m_nLast);
}

bool CPixlaneApp::GetImage() {
    return GetImage(Target().m_request).Whole();
}

bool CPixlaneApp::FetchImage() {
    return FetchImage(Target().m_request).Whole();
}

bool CPixlaneApp::FetchImageViaModem() {
    const CTarget target = Target();
    return FetchImageViaModem(target.m_request, target.m_line.m_sNumber).Whole();
}

CFetchOutcome CPixlaneApp::GetImage(const CFetchRequest& request) {
    return m_iLokal == 1 ? FetchImage(request)
                         : FetchImageViaModem(request, Target().m_line.m_sNumber);
}

CFetchOutcome CPixlaneApp::FetchImage(const CFetchRequest& request) {
    CFetchOutcome out;
    out.m_request = request;
    const int W = request.m_nWidth;
    const int H = request.m_nHeight;
    const bool colour = request.m_bColour;
    // Every value is checked before anything is allocated or sent.
    m_nLastTransfer = -1;
    std::string frame;
    if (request.Problem(&frame) == ERequestProblem::kInvalid)
        ShowStatus(kBadRequestText);
    if (frame.empty())
        return out;
    m_request = request;

    // Nibble-2 data are kept for a following Nibble-1 fetch of the same size only.
    const bool keepNibble2 =
        m_kept.m_bValid && !colour && m_kept.m_nWidth == W && m_kept.m_nHeight == H;
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
            m_kept.m_bValid = true;
        } else {
            m_pKeepBuf.assign(2 * pixels, 0);
        }
        m_kept.m_nWidth = W;
        m_kept.m_nHeight = H;
    }

    if (m_pUi != nullptr)
        m_pUi->ResizeForImage(W, H);
    if (CPortUi* ui = TextUi(); ui != nullptr)
        ui->SetProgressText("Zeile ");
    m_image.Create(W, H, colour);
    m_image.AllocateBits();
    // The fetch reads as many blocks as its request asks for, in expert mode too.
    m_nBlockCount = request.BlockCount();
    if (m_pUi != nullptr) {
        if (CScreenImage* screen = m_pUi->ScreenImage(W, H); screen != nullptr) {
            for (int y = 0; y < screen->m_nHeight; ++y)
                std::memset(screen->m_pPixels + static_cast<size_t>(y) * screen->m_nStride, 0,
                            static_cast<size_t>(screen->m_nWidth) * 4);
        }
    }

    CComPort port(m_line);
    CClock& clock = m_line.Clock();
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
    out.m_nTransfer = result;
    if (m_pUi != nullptr) {
        m_pUi->EndProgress();
        m_pUi->ImageChanged();
    }
    if (result == kTransferBroken) {
        port.Write("q,i,1#", 6);
        port.WaitPurgeRx(1000);
        return out;
    }
    if (result == kTransferRefused) {
        port.WaitPurgeRx(1000);
        return out;
    }
    ShowStatus("Fertig !");
    m_pRecvBuf.clear();
    m_pRecvBuf.shrink_to_fit();
    if (request.m_iMode != 2) {
        // What a Nibble-2 fetch kept serves the next fetch; anything else is done with.
        m_pKeepBuf.clear();
        m_pKeepBuf.shrink_to_fit();
        m_kept.m_bValid = false;
    }
    ++Start;
    return out;
}

CFetchOutcome CPixlaneApp::FetchImageViaModem(const CFetchRequest& request,
                                              const std::string& number) {
    const CDialResult dial = Dial(number);
    CFetchOutcome out;
    if (dial.m_nCode == kModemConnected) {
        // The link is up: the module can be addressed directly from now on.
        m_iLokal = 1;
        out = FetchImage(request);
    } else if (dial.m_nCode == kModemNoAnswer) {
        // No modem answered: perhaps the module hangs on the cable itself.
        out = FetchImage(request);
        if (!out.Whole())
            m_iLokal = 1;
    } else {
        ShowStatus("Verbindungsaufbau fehlgeschlagen!!");
        out.m_request = request;
    }
    out.m_bDialled = true;
    out.m_dial = dial;
    return out;
}

bool CPixlaneApp::SetGrabWindow() {
    return CComPort(m_line).SetParametersForWidth(Target().m_request.m_nWidth);
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

bool CPixlaneApp::RegrabImage() {
    const CTarget target = Target();
    return RegrabImage(target.m_channels.front(), target.m_request.m_nWidth);
}

bool CPixlaneApp::RegrabImage(int channel, int width) {
    CComPort port(m_line);
    if (m_bFirstRegrab) {
        m_bFirstRegrab = false;
        if (!port.SetParametersForWidth(width))
            ShowMessage("PFehler");
    }
    return port.SelectChannel(std::to_string(channel));
}
