#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>

#include "image/Bmp.h"
#include "image/Image.h"

namespace fs = std::filesystem;

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Le16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// An image with a pattern that tells rows and columns apart.
void MakeImage(CImage& image, int w, int h, bool colour) {
    ASSERT_TRUE(image.Create(w, h, colour));
    ASSERT_TRUE(image.AllocateBits());
    for (size_t k = 0; k < image.BitsSize(); ++k) {
        image.Bits()[k] = static_cast<uint8_t>(k * 7 + k / 251);
    }
}

// "BM", the file size, two reserved zeros and the offset of the pixel data.
void ExpectFileHeader(const std::vector<uint8_t>& file, uint32_t size, uint32_t dataOffset) {
    ASSERT_EQ(file.size(), size);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(&file[2]), size);
    EXPECT_EQ(Le32(&file[6]), 0u);
    EXPECT_EQ(Le32(&file[10]), dataOffset);
}

class CTempDir {
  public:
    CTempDir() {
        std::string pattern = (fs::temp_directory_path() / "pixlane-bmp-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~CTempDir() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_path)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path m_path;
};

}  // namespace

TEST(ImageCreate, GreyDescriptorHasHeaderAndRampPalette) {
    CImage image;
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Bmi(), nullptr);
    EXPECT_EQ(image.Bits(), nullptr);

    ASSERT_TRUE(image.Create(180, 144, false));
    ASSERT_EQ(image.BmiSize(), 1064u);
    const uint8_t* h = image.Bmi();
    EXPECT_EQ(Le32(h + 0), 40u);
    EXPECT_EQ(Le32(h + 4), 180u);
    EXPECT_EQ(Le32(h + 8), 144u);
    EXPECT_EQ(Le16(h + 12), 1u);
    EXPECT_EQ(Le16(h + 14), 8u);
    for (int off = 16; off < 40; off += 4) {
        EXPECT_EQ(Le32(h + off), 0u) << "field at " << off;
    }
    for (int i = 0; i < 256; ++i) {
        const uint8_t* q = h + 40 + 4 * i;
        ASSERT_EQ(q[0], i);
        ASSERT_EQ(q[1], i);
        ASSERT_EQ(q[2], i);
        ASSERT_EQ(q[3], 0);
    }
    EXPECT_FALSE(image.HasBits());
    ASSERT_TRUE(image.AllocateBits());
    ASSERT_EQ(image.BitsSize(), 180u * 144u);
    EXPECT_EQ(image.RowBytes(), 180u);
    for (size_t k = 0; k < image.BitsSize(); ++k) {
        ASSERT_EQ(image.Bits()[k], 0) << "new pixels are black";
    }
}

TEST(ImageCreate, ColourDescriptorIsHeaderAlone) {
    CImage image;
    ASSERT_TRUE(image.Create(360, 288, true));
    ASSERT_EQ(image.BmiSize(), 40u);
    EXPECT_EQ(Le32(image.Bmi() + 4), 360u);
    EXPECT_EQ(Le32(image.Bmi() + 8), 288u);
    EXPECT_EQ(Le16(image.Bmi() + 14), 24u);
    ASSERT_TRUE(image.AllocateBits());
    EXPECT_EQ(image.BitsSize(), 3u * 360u * 288u);
    EXPECT_EQ(image.RowBytes(), 3u * 360u);
}

TEST(ImageCreate, RowsRunBottomUp) {
    CImage image;
    ASSERT_TRUE(image.Create(180, 144, true));
    EXPECT_EQ(image.Row(0), nullptr) << "no pixels yet";
    ASSERT_TRUE(image.AllocateBits());
    EXPECT_EQ(image.Row(0), image.Bits() + 143 * 540);
    EXPECT_EQ(image.Row(143), image.Bits());
    EXPECT_EQ(image.Row(144), nullptr);
    EXPECT_EQ(image.Row(-1), nullptr);
}

TEST(ImageCreate, RefusesSizesOutsideTheRangeAndDropsTheOldImage) {
    CImage image;
    MakeImage(image, 180, 144, false);
    for (auto [w, h] : {std::pair{0, 144}, {180, 0}, {4097, 1}, {1, 4097}, {-180, 144}}) {
        EXPECT_FALSE(image.Create(w, h, false)) << w << "x" << h;
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Bits(), nullptr);
        EXPECT_FALSE(image.AllocateBits());
        MakeImage(image, 180, 144, false);
    }
    EXPECT_TRUE(image.Create(4096, 4096, true));
    EXPECT_EQ(image.Width(), 4096);
}

TEST(ImageCreate, NewFormatReleasesPixelsOfTheOldOne) {
    CImage image;
    MakeImage(image, 360, 288, true);
    ASSERT_TRUE(image.Create(180, 144, false));
    EXPECT_FALSE(image.HasBits());
    EXPECT_EQ(image.Width(), 180);
    EXPECT_EQ(image.Height(), 144);
    EXPECT_FALSE(image.IsColour());
    EXPECT_EQ(image.BitsSize(), 0u);
}

TEST(BmpFile, GreyFileByteForByte) {
    CImage image;
    MakeImage(image, 180, 144, false);
    const std::vector<uint8_t> file = BuildBmpFile(image);
    ExpectFileHeader(file, 26998, 1078);
    EXPECT_TRUE(std::equal(image.Bmi(), image.Bmi() + 1064, file.begin() + 14));
    const uint8_t* entry128 = &file[14 + 40 + 4 * 128];
    EXPECT_EQ(std::vector<uint8_t>(entry128, entry128 + 4),
              (std::vector<uint8_t>{128, 128, 128, 0}));
    EXPECT_TRUE(std::equal(image.Bits(), image.Bits() + 25920, file.begin() + 1078));
    // The top image row is the last row of the file.
    EXPECT_TRUE(std::equal(image.Row(0), image.Row(0) + 180, file.end() - 180));
}

TEST(BmpFile, ColourFileByteForByte) {
    CImage image;
    MakeImage(image, 360, 288, true);
    const std::vector<uint8_t> file = BuildBmpFile(image);
    ExpectFileHeader(file, 311094, 54);
    EXPECT_EQ(Le32(&file[14]), 40u);
    EXPECT_EQ(Le16(&file[14 + 14]), 24u);
    EXPECT_TRUE(std::equal(image.Bits(), image.Bits() + image.BitsSize(), file.begin() + 54));
}

TEST(BmpFile, NothingWithoutPixels) {
    CImage image;
    EXPECT_TRUE(BuildBmpFile(image).empty());
    ASSERT_TRUE(image.Create(180, 144, false));
    EXPECT_TRUE(BuildBmpFile(image).empty()) << "descriptor without pixels";
}

TEST(BmpWrite, WritesNewFileAndReplacesExistingOne) {
    CTempDir dir;
    const fs::path target = dir.Path() / "bild.bmp";
    CImage image;
    MakeImage(image, 180, 144, false);
    std::string error;
    ASSERT_TRUE(WriteBmpFileAtomic(target.string(), image, &error)) << error;
    EXPECT_EQ(ReadFile(target), BuildBmpFile(image));
    // Not the private mode of a temporary file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~mask));

    MakeImage(image, 360, 288, true);
    fs::permissions(target, static_cast<fs::perms>(0640));
    ASSERT_TRUE(WriteBmpFileAtomic(target.string(), image, &error)) << error;
    EXPECT_EQ(ReadFile(target), BuildBmpFile(image));
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640))
        << "a replaced file keeps its mode";
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"bild.bmp"});
}

TEST(BmpWrite, FailuresLeaveTargetAndFolderAsTheyWere) {
    CTempDir dir;
    CImage image;
    MakeImage(image, 180, 144, false);
    std::string error;

    // No image: nothing is created.
    CImage none;
    EXPECT_FALSE(WriteBmpFileAtomic((dir.Path() / "leer.bmp").string(), none, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(dir.Names().empty());

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(WriteBmpFileAtomic((dir.Path() / "fehlt" / "bild.bmp").string(), image, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(dir.Names().empty());

    // The file system refuses the bytes half way: the old file stays whole.
    const fs::path target = dir.Path() / "bild.bmp";
    WriteText(target, "old picture");
    {
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        error.clear();
        const bool ok = WriteBmpFileAtomic(target.string(), image, &error);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(ReadFile(target),
              (std::vector<uint8_t>{'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"bild.bmp"});

    // The target cannot be replaced (a folder with content sits there).
    const fs::path blocked = dir.Path() / "ordner.bmp";
    fs::create_directory(blocked);
    WriteText(blocked / "inhalt", "x");
    error.clear();
    EXPECT_FALSE(WriteBmpFileAtomic(blocked.string(), image, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_regular_file(blocked / "inhalt"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bild.bmp", "ordner.bmp"}));
}
