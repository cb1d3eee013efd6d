#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

#include "app/AppFixture.h"
#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "image/Bmp.h"
#include "image/ScreenImage.h"
#include "link/ComPort.h"
#include "protocol/Parameters.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

class FetchTest : public CAppFixture {
  protected:
    // The grey value of image pixel (x, y) in the image buffer (stored bottom-up).
    uint8_t Stored(int x, int y) const {
        const CImage& img = m_app.m_image;
        return img.Bits()[static_cast<size_t>(img.Height() - 1 - y) * img.Width() + x];
    }

    // Pixels of the image buffer and of the screen image that differ from the grey
    // picture the module sent last.
    int WrongGreyPixels() const {
        const CGreyPicture& pic = m_module.LastPicture();
        int wrong = 0;
        for (int y = 0; y < pic.m_nHeight; ++y)
            for (int x = 0; x < pic.m_nWidth; ++x) {
                const uint32_t g = pic.At(x, y);
                wrong += Stored(x, y) != g;
                wrong += m_ui.m_pixels[static_cast<size_t>(y) * pic.m_nWidth + x] !=
                         (0xFF000000u | g << 16 | g << 8 | g);
            }
        return wrong;
    }
};

TEST_F(FetchTest, GreyPicturesOfBothWidthsArriveWhole) {
    for (auto [w, h] : {std::pair{180, 144}, std::pair{360, 288}}) {
        m_app.m_iBildbreite = w;
        m_app.m_iBildhoehe = h;
        ASSERT_TRUE(m_app.FetchImage()) << w;
        EXPECT_EQ(m_app.Start, 2);
        EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
        EXPECT_EQ(m_ui.m_nResizeW, w);
        EXPECT_EQ(m_ui.m_nViewH, h);
        const CGreyPicture& pic = m_module.LastPicture();
        ASSERT_EQ(pic.m_nWidth, w);
        ASSERT_EQ(pic.m_nHeight, h);
        EXPECT_EQ(WrongGreyPixels(), 0) << w;
        EXPECT_EQ(m_ui.m_nLastRepainted, h - 1);
    }
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 1);
    EXPECT_EQ(Count("I,00000,B4,0240,3#"), 1);
    EXPECT_EQ(Count("q,i,0#"), 144 + 576);
}

TEST_F(FetchTest, NibbleFetchesKeepTheGreyThatWasDrawnAndMerge) {
    m_app.m_iModus = 2;
    ASSERT_TRUE(m_app.FetchImage());
    const CGreyPicture n2 = m_module.LastPicture();
    EXPECT_TRUE(m_app.nibb2);
    EXPECT_EQ(Stored(10, 10), n2.At(10, 10) & 0xF0);
    m_app.m_iModus = 1;
    ASSERT_TRUE(m_app.FetchImage());
    const CGreyPicture n1 = m_module.LastPicture();
    int wrong = 0;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 180; ++x)
            wrong += Stored(x, y) != ((n2.At(x, y) & 0xF0) | (n1.At(x, y) & 0x0F));
    EXPECT_EQ(wrong, 0);
}

TEST_F(FetchTest, BadCheckByteInBlockFiveBreaksOff) {
    m_module.AddFault({ESimFault::BadCheck, "", 5, 0, false});
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_app.Start, 1);
    EXPECT_EQ(Count("q,i,0#"), 5);
    EXPECT_EQ(Count("q,i,1#"), 1);
    EXPECT_EQ(m_ui.m_status.back(), "Zeile 5 wird empfangen ...");
    const CGreyPicture& pic = m_module.LastPicture();
    EXPECT_EQ(Stored(7, 5), pic.At(7, 5));  // block 5 drawn and stored all the same
}

TEST_F(FetchTest, NonHexLengthBreaksOff) {
    m_module.AddFault({ESimFault::HexLength, "", 3, 0, false});
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(Count("q,i,0#"), 3);
    EXPECT_EQ(Count("q,i,1#"), 1);
}

TEST_F(FetchTest, RefusedRequestSendsNoBreak) {
    m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, false});
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(Count("q,i,1#"), 0);
    EXPECT_EQ(m_ui.m_status.back(), "Zeile ");
}

TEST_F(FetchTest, RequestFramesAndRefusals) {
    bool refused = false;
    m_app.m_bExpert = true;
    EXPECT_EQ(m_app.BuildRequestFrame(refused), "I,00000,FF,0090,3#");
    m_app.m_sBanzahl = "120";
    m_app.m_sOffset = "1";
    EXPECT_EQ(m_app.BuildRequestFrame(refused), "I,00001,FF,0120,3#");
    m_app.m_sBanzahl = "12345";
    EXPECT_EQ(m_app.BuildRequestFrame(refused), "");
    EXPECT_TRUE(refused);
    m_app.m_bExpert = false;
    m_app.m_iModus = 7;
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_status.back(), "Ungültige Bildanforderung !");
    m_app.m_iModus = 3;
    m_app.m_iBildhoehe = 5000;
    EXPECT_FALSE(m_app.FetchImage());
    m_app.m_iBildhoehe = 144;
    m_app.m_iBildbreite = 250;
    const size_t before = m_ui.m_status.size();
    EXPECT_FALSE(m_app.FetchImage());
    EXPECT_EQ(m_ui.m_status.size(), before);  // an unsupported width stays silent
    EXPECT_TRUE(m_module.Frames().empty());
}

TEST_F(FetchTest, TheStandardSizesKeepTheirFrames) {
    struct CFrame {
        int m_nWidth, m_nHeight, m_nMode;
        const char* m_pFrame;
    };
    for (const CFrame& f :
         {CFrame{180, 144, 1, "I,00000,B4,0048,1#"}, CFrame{180, 144, 2, "I,00000,B4,0048,2#"},
          CFrame{180, 144, 3, "I,00000,B4,0090,3#"}, CFrame{180, 144, 4, "I,00000,B4,0120,4#"},
          CFrame{360, 288, 1, "I,00000,B4,0120,1#"}, CFrame{360, 288, 2, "I,00000,B4,0120,2#"},
          CFrame{360, 288, 3, "I,00000,B4,0240,3#"}, CFrame{360, 288, 4, "I,00000,B4,0480,4#"},
          CFrame{256, 200, 1, "I,00000,FF,00C9,3#"}, CFrame{512, 512, 4, "I,00000,FF,0405,3#"},
          CFrame{768, 576, 3, "I,00000,FF,06C7,3#"}}) {
        m_app.m_iBildbreite = f.m_nWidth;
        m_app.m_iBildhoehe = f.m_nHeight;
        m_app.m_iModus = f.m_nMode;
        bool refused = false;
        EXPECT_EQ(m_app.BuildRequestFrame(refused), f.m_pFrame);
    }
}

TEST_F(FetchTest, TheRequestAsksForTheBlocksTheFetchReads) {
    // A freely defined height, the least there is, and an expert count of its own: after
    // each fetch the line is quiet, so the next command gets its own answer.
    struct CCase {
        int m_nHeight, m_nMode;
        bool m_bExpert;
        const char* m_pFrame;
        int m_nBlocks;
    };
    for (const CCase& c : {CCase{100, 3, false, "I,00000,B4,0064,3#", 100},
                           CCase{1, 3, false, "I,00000,B4,0001,3#", 1},
                           CCase{100, 1, false, "I,00000,B4,0032,1#", 50},
                           CCase{144, 3, true, "I,00000,B4,0120,3#", 288}}) {
        SCOPED_TRACE(c.m_pFrame);
        m_app.m_iBildhoehe = c.m_nHeight;
        m_app.m_iModus = c.m_nMode;
        m_app.m_bExpert = c.m_bExpert;
        m_app.m_sBgroesse = "B4";
        m_app.m_sBanzahl = "120";
        m_module.ClearRecord();
        EXPECT_TRUE(m_app.FetchImage());
        ASSERT_FALSE(m_module.Frames().empty());
        EXPECT_EQ(m_module.Frames().front(), c.m_pFrame);
        EXPECT_EQ(m_app.m_nBlockCount, c.m_nBlocks);
        EXPECT_EQ(Count("q,i,0#"), c.m_nBlocks);
        EXPECT_EQ(CComPort(m_app.Line()).GetCameraStatus(), "03");
    }
}

TEST_F(FetchTest, SaveWritesTheFetchedPictureOrNothing) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("bild.bmp").toStdString();
    m_ui.m_sSaveAs = path;
    m_app.SaveImage();
    ASSERT_EQ(m_ui.m_messages.size(), 1u);
    EXPECT_EQ(m_ui.m_messages[0], "Kein Bild vorhanden !");
    ASSERT_TRUE(m_app.FetchImage());
    m_app.m_iMonochrom = 1;  // a later change of the setting does not change the file
    m_app.SaveImage();
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(file.size(), 26998u);
    EXPECT_EQ(file, BuildBmpFile(m_app.m_image));
    // Saved through a link, the picture goes to the link's target.
    const std::string link = dir.filePath("link.bmp").toStdString();
    ASSERT_TRUE(QFile::link(QString::fromStdString(path), QString::fromStdString(link)));
    std::remove(path.c_str());
    m_ui.m_sSaveAs = link;
    m_app.SaveImage();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).size(), 26998);
    m_ui.m_sSaveAs = std::nullopt;
    std::remove(path.c_str());
    m_app.SaveImage();
    EXPECT_FALSE(std::ifstream(path).good());  // cancelled: nothing written
}

TEST_F(FetchTest, ColourPictureIsStoredAsTwentyFourBitRows) {
    m_app.m_iMonochrom = 1;
    m_app.m_iModus = 4;
    ASSERT_TRUE(m_app.FetchImage());
    EXPECT_EQ(Count("I,00000,B4,0120,4#"), 1);
    EXPECT_EQ(Count("q,i,0#"), 288);
    EXPECT_TRUE(m_app.m_image.IsColour());
    EXPECT_EQ(BuildBmpFile(m_app.m_image).size(), 3u * 180 * 144 + 54);
}

// The wide formats carry 8-bit grey rows one after the other, whatever the mode, in as
// many 255-byte blocks as their frame names; the stream's tail past the last row is
// dropped.
TEST_F(FetchTest, WideGreyPicturesArriveAsConsecutiveRows) {
    struct CWide {
        int m_nWidth, m_nHeight, m_nMode, m_nBlocks;
        const char* m_sFrame;
    };
    static constexpr CWide kWide[] = {{256, 200, 3, 0xC9, "I,00000,FF,00C9,3#"},
                                      {512, 512, 1, 0x405, "I,00000,FF,0405,3#"},
                                      {768, 576, 4, 0x6C7, "I,00000,FF,06C7,3#"}};
    int acks = 0;
    for (const CWide& c : kWide) {
        m_app.m_iBildbreite = c.m_nWidth;
        m_app.m_iBildhoehe = c.m_nHeight;
        m_app.m_iModus = c.m_nMode;
        ASSERT_TRUE(m_app.FetchImage()) << c.m_nWidth;
        acks += c.m_nBlocks;
        EXPECT_EQ(m_app.m_nBlockCount, c.m_nBlocks);
        EXPECT_EQ(Count(c.m_sFrame), 1) << c.m_nWidth;
        EXPECT_EQ(Count("q,i,0#"), acks) << c.m_nWidth;
        EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
        const CGreyPicture& pic = m_module.LastPicture();
        ASSERT_EQ(pic.m_nWidth, c.m_nWidth);
        ASSERT_EQ(pic.m_nHeight, c.m_nHeight);
        EXPECT_EQ(WrongGreyPixels(), 0) << c.m_nWidth;
        EXPECT_EQ(m_ui.m_nLastRepainted, c.m_nHeight - 1);
        EXPECT_EQ(BuildBmpFile(m_app.m_image).size(),
                  static_cast<size_t>(c.m_nWidth) * c.m_nHeight + 1078);
    }
    EXPECT_EQ(m_app.m_iModus, 4);  // the fetch leaves the setting alone
}

TEST_F(FetchTest, WideGreyPictureWithTheColourSettingIsStoredAsGreyTriples) {
    m_app.m_iMonochrom = 1;
    m_app.m_iBildbreite = 256;
    m_app.m_iBildhoehe = 200;
    ASSERT_TRUE(m_app.FetchImage());
    EXPECT_EQ(Count("I,00000,FF,00C9,3#"), 1);
    const CImage& img = m_app.m_image;
    ASSERT_TRUE(img.IsColour());
    const CGreyPicture& pic = m_module.LastPicture();
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint8_t* px = img.Bits() + static_cast<size_t>(199 - y) * 3 * 256 + 3 * x;
            wrong += px[0] != pic.At(x, y) || px[1] != pic.At(x, y) || px[2] != pic.At(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(FetchTest, GrabWindowGoesOutForTheTwoStandardWidthsOnly) {
    const std::pair<int, const char*> kSent[] = {{180, "P,008,000,0b4,120,0c0,120,1,0#"},
                                                 {360, "P,008,000,168,240,180,240,1,0#"}};
    for (auto [width, frame] : kSent) {
        m_module.ClearRecord();
        m_app.m_iBildbreite = width;
        EXPECT_TRUE(m_app.SetGrabWindow()) << width;
        EXPECT_EQ(m_module.Frames(), std::vector<std::string>{frame});
        std::array<uint16_t, 8> expected{};
        ASSERT_TRUE(ParametersForWidth(width, expected));
        ASSERT_TRUE(m_module.HasParameters());
        for (size_t k = 0; k < expected.size(); ++k)
            EXPECT_EQ(m_module.Parameters()[k], expected[k]) << width << " p" << k + 1;
    }
    m_module.ClearRecord();
    for (int width : {256, 512, 768, 250}) {
        m_app.m_iBildbreite = width;
        EXPECT_FALSE(m_app.SetGrabWindow()) << width;
    }
    EXPECT_TRUE(m_module.HostBytes().empty());
    EXPECT_EQ(m_module.Parameters()[2], 360u);  // the last window sent still holds

    // A refusal by the module is a failure too.
    m_app.m_iBildbreite = 180;
    m_module.AddFault({ESimFault::AckDigit, "P", -1, 0, false});
    EXPECT_FALSE(m_app.SetGrabWindow());
    EXPECT_TRUE(m_ui.m_messages.empty());
}

// Through the modem: a connected link makes the fetch run and counts as up.
class FetchViaModemTest : public CAppFixture {
  protected:
    CSimPeer* Peer() override { return &m_modem; }
    CModemSim m_modem{m_module};
};

TEST_F(FetchViaModemTest, ConnectedModemFetchesAndMarksTheLinkUp) {
    m_app.m_iLokal = 0;
    EXPECT_TRUE(m_app.GetImage());
    EXPECT_EQ(m_app.m_iLokal, 1);
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
}

TEST_F(FetchViaModemTest, AFailedDialFetchesNothing) {
    m_modem.m_eDialResult = EDialResult::Busy;
    m_app.m_iLokal = 0;
    EXPECT_FALSE(m_app.GetImage());
    EXPECT_EQ(m_app.m_iLokal, 0);
    EXPECT_EQ(m_ui.m_status.back(), "Verbindungsaufbau fehlgeschlagen!!");
    EXPECT_TRUE(m_module.Frames().empty());
}

TEST_F(FetchTest, WhenNoModemAnswersTheModuleIsAskedDirectly) {
    // The module hangs on the cable: "AT" gets no answer, and the fetch goes to it.
    m_app.m_iLokal = 0;
    EXPECT_TRUE(m_app.GetImage());
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 1);
    EXPECT_EQ(m_ui.m_status.back(), "Fertig !");
    EXPECT_EQ(m_app.m_iLokal, 0);
    // When that fetch fails too, the next one goes straight to the module.
    m_module.AddFault({ESimFault::AckDigit, "I", -1, 0, false});
    EXPECT_FALSE(m_app.GetImage());
    EXPECT_EQ(Count("I,00000,B4,0090,3#"), 2);
    EXPECT_EQ(m_app.m_iLokal, 1);
}

TEST(FetchRequestTest, EveryWidthModeAndColourSaysWhetherItGivesAPicture) {
    // Modes 0..5 in grey, then in colour: '.' a picture, 'n' a frame that draws nothing,
    // 'x' an invalid request, 'w' a width without a frame.
    struct CRow {
        int m_nWidth;
        const char* m_pGrey;
        const char* m_pColour;
    };
    for (const CRow& row : {CRow{180, "x...nx", "xnnn.x"}, CRow{360, "x...nx", "xnnn.x"},
                            CRow{256, "......", "......"}, CRow{512, "......", "......"},
                            CRow{768, "......", "......"}, CRow{250, "wwwwww", "wwwwww"},
                            CRow{0, "wwwwww", "wwwwww"}}) {
        for (const bool colour : {false, true}) {
            for (int mode = 0; mode <= 5; ++mode) {
                CFetchRequest r;
                r.m_nWidth = row.m_nWidth;
                r.m_nHeight = row.m_nWidth * 4 / 5;
                r.m_iMode = mode;
                r.m_bColour = colour;
                std::string frame;
                const ERequestProblem problem = r.Problem(&frame);
                const char want = (colour ? row.m_pColour : row.m_pGrey)[mode];
                const char got = problem == ERequestProblem::kNone         ? '.'
                                 : problem == ERequestProblem::kNoDecoding ? 'n'
                                 : problem == ERequestProblem::kInvalid    ? 'x'
                                                                           : 'w';
                EXPECT_EQ(got, want) << row.m_nWidth << " mode " << mode << " colour " << colour;
                // The window sends what has a frame, whether it draws or not.
                EXPECT_EQ(frame.empty(), want == 'x' || want == 'w') << row.m_nWidth << " " << mode;
                EXPECT_EQ(frame, r.Frame());
            }
        }
    }
    CFetchRequest r;
    r.m_nWidth = 250;
    EXPECT_EQ(r.ProblemText(r.Problem()),
              "Bildbreite 250 wird nicht unterstützt (180, 256, 360, 512 oder 768)");
    r.m_nWidth = 180;
    r.m_bColour = true;
    EXPECT_EQ(r.ProblemText(r.Problem()),
              "Farbe mit Modus 3 ergibt kein Bild (Farbe geht nur mit Modus 4)");
    r.m_nHeight = 0;
    EXPECT_EQ(r.Problem(), ERequestProblem::kInvalid);
    EXPECT_EQ(r.ProblemText(ERequestProblem::kInvalid), "");
    EXPECT_EQ(r.BlockCount(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
