#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppUi.h"
#include "image/ScreenImage.h"
#include "link/LineSession.h"
#include "sim/SimPeer.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

// A broken promise of the code under test: says which and ends the run, so that the fuzzer
// keeps the input and the corpus replay fails.
#define FUZZ_CHECK(cond)                         \
    do {                                         \
        if (!(cond))                             \
            FuzzFail(__FILE__, __LINE__, #cond); \
    } while (false)

[[noreturn]] void FuzzFail(const char* file, int line, const char* what);

// The harnesses' own checks walk whole pictures in buffers whose bounds they know; the
// fuzzer is not to count their branches as coverage of the program, and they run several
// times faster without that counting and the address and undefined-behaviour checks
// (which keep the compiler from comparing many pixels at a time).
#if defined(__clang__)
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage", "address", "undefined")))
#else
#define FUZZ_NO_COVERAGE
#endif

// Takes the leading bytes of an input that choose what a harness does; an input that
// ends early gives zeros. Whatever is not taken is the far end's script.
class CFuzzBytes {
  public:
    CFuzzBytes(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    uint8_t Byte() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0; }
    uint16_t Word() {
        const uint16_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }
    // A text of up to maxLen bytes, its length taken first.
    std::string Text(size_t maxLen);
    const uint8_t* Rest() const { return m_pData + m_nPos; }
    size_t RestSize() const { return m_nSize - m_nPos; }

  private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

// The far end of the line as a script: chunks of [timing][length][bytes]. A timing byte
// with bit 7 set holds the chunk back until the host writes next, and it arrives bits 0..6
// half-seconds after that write; with bit 7 clear it arrives that many half-seconds after
// the chunk before (or after the line was opened). The last chunk may be cut short.
class CScriptPeer : public CSimPeer {
  public:
    static constexpr uint32_t kTickMs = 500;

    CScriptPeer(const uint8_t* data, size_t size);
    // What arrives before the host has written anything, from time nowUs on.
    void Start(uint64_t nowUs, std::vector<CTimedByte>& out);
    void OnHostBytes(const uint8_t* data, size_t n, uint64_t nowUs,
                     std::vector<CTimedByte>& out) override;

  private:
    struct CChunk {
        bool m_bAfterWrite;
        uint32_t m_nDelayMs;
        std::string m_sBytes;
    };
    // Sends the chunks from m_nNext on that do not wait for a write, the first at time.
    void Release(uint64_t time, std::vector<CTimedByte>& out);

    std::vector<CChunk> m_chunks;
    size_t m_nNext = 0;
};

// The ports 1..9 in virtual time with the script behind each, for the session given: the
// port it opens gets the script. Leaves the session's line closed and its wiring unset
// when it goes; the session outlives it.
class CFuzzRig {
  public:
    CFuzzRig(CLineSession& line, const uint8_t* script, size_t size);
    ~CFuzzRig();
    CFuzzRig(const CFuzzRig&) = delete;
    CFuzzRig& operator=(const CFuzzRig&) = delete;

    // Opens port 1 on the session as the program does (57600 baud, 8N1, RTS handshake);
    // null when that failed.
    CFakeLine* Open();
    // After the port was opened elsewhere: starts the script on its line (null while the
    // port is closed).
    CFakeLine* Opened();
    uint64_t NowMs() const { return m_clock.NowMs(); }

  private:
    CLineSession& m_line;
    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CScriptPeer m_peer;
};

// The user interface of the program, seen from the application object: records the texts
// and keeps a screen image whose rows carry a margin of canary pixels on the right, so
// that a pixel drawn past the right edge shows even where it stays inside the allocation.
class CFuzzUi : public CAppUi {
  public:
    static constexpr int kMargin = 8;
    static constexpr uint32_t kCanary = 0x5AA5C33Cu;

    void SetStatusText(const std::string& text) override { m_sLastStatus = text; }
    void MessageBox(const std::string& text) override { m_sLastMessage = text; }
    FUZZ_NO_COVERAGE CScreenImage* ScreenImage(int width, int height) override;
    void RepaintRows(int first, int last) override;
    void SetImageSize(int height, int width) override;
    void ResizeForImage(int, int) override {}
    std::optional<std::string> AskSaveFileName(const std::string&) override { return {}; }
    void ImageChanged() override {}

    // For a run of its own: the texts and findings go, the screen stays for a picture of
    // its size (its margins are intact after every run that passed).
    void StartRun();
    // True while no pixel has been drawn into the margins.
    FUZZ_NO_COVERAGE bool MarginsIntact() const;
    const CScreenImage& Screen() const { return m_screen; }

    std::string m_sLastStatus;
    std::string m_sLastMessage;
    bool m_bRepaintOutside = false;  // a repaint named rows outside the image
    bool m_bViewMismatch = false;    // the view was told a size other than the screen's

  private:
    // The fetch clears the picture area itself; only the margins are filled here. The
    // block is kept for smaller screens after it (a new one a run costs more than the
    // fetch); what a smaller screen leaves of it is poisoned for the address checks, so
    // that a pixel past the screen's end is caught as before.
    std::unique_ptr<uint32_t[]> m_pixels;
    size_t m_nCapacity = 0;
    CScreenImage m_screen;
};
