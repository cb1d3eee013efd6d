#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/LinePacer.h"
#include "sim/SimFault.h"
#include "sim/SimPeer.h"
#include "sim/SimRecord.h"
#include "sim/TestPicture.h"

// The values the module reports to the status queries.
struct CModuleStatus {
    std::string m_sCamera = "03";      // "V#", two characters
    std::string m_sInput = "00";       // "C#", two characters
    std::string m_sError = "00";       // "F#", two characters
    std::string m_sVersion = "02031";  // "S#", five characters
};

// One frame the host sent, as the module recognised it from the byte stream.
struct CHostFrame {
    uint64_t m_nAtUs = 0;  // arrival of its final "#"
    std::string m_sText;
    bool m_bAnswered = false;  // false: malformed, unknown or unexpected; nothing was sent
};

struct CHostByte {
    uint64_t m_nAtUs;
    uint8_t m_nByte;
};

// The simulated grabber module: one state machine that reads the host's frames from the byte
// stream and answers them. Frames end with "#"; bytes before a command letter are skipped,
// and a malformed frame is searched for a well-formed one at its end, so the module falls
// back into step after line noise.
//
// Picture size of an image request: the last "P," frame (p3 is the width, p4 twice the
// height) if one came, else m_nWidth x m_nHeight if set, else the standard size that the
// request's block size, count and mode stand for. The request's blocks are cut from the
// picture's byte stream for its mode (see EncodePicture) from the request's offset on; what
// lies beyond the stream is sent as zeros.
class CModuleSim : public CSimPeer {
  public:
    CModuleSim();

    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override;

    // Configuration.
    CModuleStatus m_status;
    std::set<int> m_channels{1, 2, 3, 4, 5, 6, 7, 8};  // channels with a camera
    int m_nWidth = 0;                                  // 0: size from the request
    int m_nHeight = 0;
    void SetPacing(uint32_t baud, uint32_t latencyMs);
    CLinePacer& Pacer() { return m_pacer; }
    // Serve this picture (scaled to the requested size) instead of the built-in one.
    void SetPicture(const CGreyPicture& pic) { m_source = pic; }
    // What the camera shows from the next request on. Repeated keeps the frame the next
    // request gets for every request after it.
    void SetScene(ESimScene scene);
    ESimScene Scene() const { return m_eScene; }
    // Colour pictures carry colour bars in their chroma; without them every pixel is grey.
    // The dark and uniform scenes are always without colour.
    bool m_bColourBars = true;
    void AddFault(const CSimFault& fault) { m_faults.Add(fault); }
    CSimFaultList& Faults() { return m_faults; }

    // State.
    int SelectedChannel() const { return m_nChannel; }
    bool HasParameters() const { return m_bHasParameters; }
    const std::array<unsigned, 8>& Parameters() const { return m_params; }
    unsigned FrameCounter() const { return m_nCounter; }  // pictures served so far
    bool InTransfer() const { return m_bInTransfer; }
    int BlocksSent() const { return m_nBlocksSent; }  // in the current or last transfer
    // The size the next request with this block size, count and mode would use.
    void RequestSize(int blockSize, int count, int mode, int& width, int& height) const;
    // The grey picture the next request of that size will show.
    CGreyPicture NextPicture(int width, int height) const;
    // The picture, chroma and byte stream of the last accepted image request.
    const CGreyPicture& LastPicture() const { return m_last; }
    const std::vector<uint8_t>& LastChroma() const { return m_lastChroma; }
    const std::vector<uint8_t>& LastStream() const { return m_stream; }
    // True once after an accepted "E,1#": a modem in front drops the carrier.
    bool TakeEndConnection();

    // Record of the host's side: the newest frames and bytes, at most this many, so that a
    // module served for weeks keeps its memory.
    static constexpr size_t kFrameLimit = 4096;
    static constexpr size_t kHostByteLimit = 8192;
    const CSimRecord<CHostByte>& HostBytes() const { return m_hostBytes; }
    const CSimRecord<CHostFrame>& HostFrames() const { return m_frames; }
    std::vector<std::string> Frames() const;    // the frames recorded, in order
    std::vector<std::string> Rejected() const;  // those of them that got no answer
    size_t SkippedBytes() const { return m_nSkipped; }
    void ClearRecord();

    // Called for every frame (text, answered) as it is recognised.
    std::function<void(const std::string&, bool)> m_onFrame;

  private:
    bool Handle(const std::string& frame, uint64_t nowUs, std::vector<CTimedByte>& out);
    bool HandleQuery(char letter, uint64_t nowUs, std::vector<CTimedByte>& out);
    bool HandleImage(const std::string& frame, uint64_t nowUs, std::vector<CTimedByte>& out);
    void SendAnswer(char letter, char status, const std::string& record, uint64_t nowUs,
                    std::vector<CTimedByte>& out);
    void SendBlock(uint64_t nowUs, std::vector<CTimedByte>& out, std::string prefix);
    void EndFrame(const std::string& text, bool answered, uint64_t nowUs);

    CLinePacer m_pacer;
    CSimFaultList m_faults;
    std::optional<CGreyPicture> m_source;
    ESimScene m_eScene = ESimScene::Normal;
    unsigned m_nRepeatedFrame = 0;  // the frame counter the repeated scene shows

    int m_nChannel = 1;
    bool m_bHasParameters = false;
    std::array<unsigned, 8> m_params{};
    uint64_t m_nTimeBaseUs = 0;
    unsigned m_nCounter = 0;
    bool m_bEndConnection = false;

    bool m_bInTransfer = false;
    int m_nBlockSize = 0;
    int m_nBlockCount = 0;
    int m_nBlocksSent = 0;
    size_t m_nOffset = 0;
    CGreyPicture m_last;
    std::vector<uint8_t> m_lastChroma;
    std::vector<uint8_t> m_stream;

    bool m_bInFrame = false;
    std::string m_sFrame;
    std::string m_sNoise;  // bytes skipped since the last frame
    size_t m_nSkipped = 0;
    CSimRecord<CHostByte> m_hostBytes{kHostByteLimit};
    CSimRecord<CHostFrame> m_frames{kFrameLimit};
};
