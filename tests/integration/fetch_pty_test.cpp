// Whole image fetches over a real pseudo-terminal: the application object on the
// QSerialPort back end and the system clock, the simulated module served in real time on
// its own thread. Nothing here measures time; the module is paced fast so the tests are
// quick, and every wait below only gives the line the time it needs.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "image/Bmp.h"
#include "image/Decoder.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

namespace {

constexpr int kPort = 4;
constexpr const char* kPortVariable = "PIXLANE_COM4";

uint32_t Grey(uint32_t g) {
    return 0xFF000000u | g << 16 | g << 8 | g;
}

class FetchPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_module.SetPacing(921600, 0);
        std::string error;
        ASSERT_TRUE(m_server.Start(m_module, m_sDevice, &error)) << error;
        qputenv(kPortVariable, QByteArray::fromStdString(m_sDevice));
        // The production line factory and the system clock, as every session has them.
        m_app.m_iCom = kPort;
        m_app.m_iBaudrate = 115200;
        m_app.SetUi(&m_ui);
        ASSERT_TRUE(m_app.OpenConfiguredPort()) << m_sDevice;
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override {
        CComPort(m_app.Line()).Open(0);
        m_server.Stop();
        qunsetenv(kPortVariable);
    }

    // How often the module has received this frame. The host's last bytes may still be on
    // their way, so it waits (a few seconds at most) for the count to reach atLeast.
    int Count(const std::string& frame, int atLeast) {
        int n = 0;
        for (int tries = 0; tries < 300; ++tries) {
            m_server.WithPeer([&] {
                n = 0;
                for (const auto& f : m_module.Frames())
                    n += f == frame ? 1 : 0;
            });
            if (n >= atLeast)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return n;
    }

    // Pixels of the image buffer and of the screen image that differ from the grey
    // picture the module sent last.
    int WrongGreyPixels() {
        CGreyPicture pic;
        m_server.WithPeer([&] { pic = m_module.LastPicture(); });
        const CImage& img = m_app.m_image;
        EXPECT_EQ(pic.m_nWidth, img.Width());
        EXPECT_EQ(pic.m_nHeight, img.Height());
        if (pic.m_nWidth != img.Width() || pic.m_nHeight != img.Height())
            return -1;
        const int w = img.Width();
        const int h = img.Height();
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t stored = img.Bits()[static_cast<size_t>(h - 1 - y) * w + x];
                wrong += stored != pic.At(x, y);
                wrong += m_ui.m_pixels[static_cast<size_t>(y) * w + x] != Grey(pic.At(x, y));
            }
        return wrong;
    }

    // Saves the image through the application and reads the file back.
    std::vector<uint8_t> SaveAndRead(const char* name) {
        const std::string path = m_dir.filePath(name).toStdString();
        m_ui.m_sSaveAs = path;
        m_app.SaveImage();
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    void FetchGreyAndSave(int w, int h, const char* name) {
        m_app.m_iBildbreite = w;
        m_app.m_iBildhoehe = h;
        ASSERT_TRUE(m_app.FetchImage()) << w;
        EXPECT_EQ(m_app.Start, 2);
        EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
        EXPECT_EQ(WrongGreyPixels(), 0) << w;
        const std::vector<uint8_t> file = SaveAndRead(name);
        EXPECT_EQ(file.size(), static_cast<size_t>(w) * h + 1078) << w;
        EXPECT_EQ(file, BuildBmpFile(m_app.m_image)) << w;
    }

    CModuleSim m_module;
    CPtySimServer m_server;
    std::string m_sDevice;
    CRecordingUi m_ui;
    CPixlaneApp m_app;
    QTemporaryDir m_dir;
};

TEST_F(FetchPtyTest, GreyFetchesOfBothWidthsArriveWholeAndSaveAsTheyAreHeld) {
    FetchGreyAndSave(180, 144, "klein.bmp");
    FetchGreyAndSave(360, 288, "gross.bmp");
    EXPECT_EQ(Count("I,00000,B4,0090,3#", 1), 1);
    EXPECT_EQ(Count("I,00000,B4,0240,3#", 1), 1);
    EXPECT_EQ(Count("q,i,0#", 144 + 576), 144 + 576);
    EXPECT_EQ(Count("q,i,1#", 0), 0);
}

TEST_F(FetchPtyTest, ColourFetchIsConvertedPixelByPixelInLineOrder) {
    m_app.m_iMonochrom = 1;
    m_app.m_iModus = 4;
    ASSERT_TRUE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
    std::vector<uint8_t> stream;
    m_server.WithPeer([&] { stream = m_module.LastStream(); });
    const int w = 180;
    const int h = 144;
    ASSERT_EQ(stream.size(), 2u * w * h);
    const CImage& img = m_app.m_image;
    ASSERT_TRUE(img.IsColour());
    ASSERT_EQ(img.Width(), w);
    ASSERT_EQ(img.Height(), h);

    // A decoder fresh from start-up, as the application's was, fed the (luma, chroma)
    // pairs in the order they went over the line: row after row, left to right.
    CYuvDecoder reference;
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t p = static_cast<size_t>(y) * w + x;
            uint8_t b = 0, g = 0, r = 0;
            reference.YuvToRgb(stream[2 * p], stream[2 * p + 1], b, g, r);
            const uint8_t* px = img.Bits() + static_cast<size_t>(h - 1 - y) * 3 * w + 3 * x;
            wrong += px[0] != b || px[1] != g || px[2] != r;
            wrong += m_ui.m_pixels[p] != (0xFF000000u | uint32_t{r} << 16 | uint32_t{g} << 8 | b);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Count("q,i,0#", 288), 288);

    const std::vector<uint8_t> file = SaveAndRead("farbe.bmp");
    EXPECT_EQ(file.size(), 3u * w * h + 54);
    EXPECT_EQ(file, BuildBmpFile(img));
}

// A break sends "q,i,1#" once; the wait and purge after it drop whatever the module still
// had on its way, so the next fetch on the same open line arrives whole.
TEST_F(FetchPtyTest, BrokenTransfersSendTheBreakAndTheLineServesTheNextFetch) {
    struct CBreak {
        ESimFault m_eKind;
        int m_nBlock;
        const char* m_sLastStatus;  // the block whose data did arrive last
    };
    // A bad length leaves the rest of its block (181 bytes) on the line.
    const CBreak kBreaks[] = {{ESimFault::BadCheck, 5, "Zeile 5 wird empfangen ..."},
                              {ESimFault::HexLength, 3, "Zeile 2 wird empfangen ..."}};
    int breaks = 0;
    int acks = 0;
    for (const CBreak& b : kBreaks) {
        m_server.WithPeer([&] { m_module.AddFault({b.m_eKind, "", b.m_nBlock, 0, false}); });
        EXPECT_FALSE(m_app.FetchImage()) << b.m_nBlock;
        EXPECT_EQ(m_app.Start, 1);
        EXPECT_EQ(m_ui.m_status.back(), b.m_sLastStatus);
        ++breaks;
        acks += b.m_nBlock;
        EXPECT_EQ(Count("q,i,1#", breaks), breaks);
        EXPECT_EQ(Count("q,i,0#", acks), acks);
        bool inTransfer = true;
        m_server.WithPeer([&] { inTransfer = m_module.InTransfer(); });
        EXPECT_FALSE(inTransfer);

        FetchGreyAndSave(180, 144, "danach.bmp");
        acks += 144;
        EXPECT_EQ(Count("q,i,0#", acks), acks);
    }
    EXPECT_EQ(Count("q,i,1#", breaks), breaks);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
