// Writing files where the user points: new and replaced files, failures that leave
// everything as it was, and targets that are no plain file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/TargetFile.h"
#include "image/Bmp.h"
#include "image/Image.h"
#include "support/PatternImage.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
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

// Runs f while the file system refuses a file beyond 4 KiB (as a full disk would).
template <class F>
bool WithSmallFileLimit(F&& f) {
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    if (::getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return true;
    rlimit small = saved;
    small.rlim_cur = 4096;
    if (::setrlimit(RLIMIT_FSIZE, &small) != 0)
        return true;
    const bool ok = f();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return ok;
}

}  // namespace

TEST(BmpWrite, WritesNewFileAndReplacesExistingOne) {
    CTempDir dir;
    const fs::path target = dir.Path() / "bild.bmp";
    CImage image;
    MakeImage(image, 180, 144, false);
    std::string error;
    ASSERT_TRUE(WriteBmpFile(target.string(), image, &error)) << error;
    EXPECT_EQ(ReadFile(target), BuildBmpFile(image));
    // Not the private mode of a temporary file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~mask));

    MakeImage(image, 360, 288, true);
    fs::permissions(target, static_cast<fs::perms>(0640));
    ASSERT_TRUE(WriteBmpFile(target.string(), image, &error)) << error;
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
    EXPECT_FALSE(WriteBmpFile((dir.Path() / "leer.bmp").string(), none, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(dir.Names().empty());

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(WriteBmpFile((dir.Path() / "fehlt" / "bild.bmp").string(), image, &error));
    EXPECT_EQ(error, "Datei oder Ordner nicht vorhanden");
    EXPECT_TRUE(dir.Names().empty());

    // A file nobody may write stays as it is, also for root.
    const fs::path locked = dir.Path() / "fest.bmp";
    WriteText(locked, "kept");
    fs::permissions(locked, static_cast<fs::perms>(0444));
    EXPECT_FALSE(WriteBmpFile(locked.string(), image, &error));
    EXPECT_EQ(error, "Datei ist schreibgeschützt");
    EXPECT_EQ(ReadFile(locked), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
    EXPECT_EQ(fs::status(locked).permissions(), static_cast<fs::perms>(0444));
    fs::remove(locked);

    // The file system refuses the bytes half way: the old file stays whole.
    const fs::path target = dir.Path() / "bild.bmp";
    WriteText(target, "old picture");
    error.clear();
    EXPECT_FALSE(WithSmallFileLimit([&] { return WriteBmpFile(target.string(), image, &error); }));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(target),
              (std::vector<uint8_t>{'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"bild.bmp"});

    // The target cannot be replaced (a folder with content sits there).
    const fs::path blocked = dir.Path() / "ordner.bmp";
    fs::create_directory(blocked);
    WriteText(blocked / "inhalt", "x");
    error.clear();
    EXPECT_FALSE(WriteBmpFile(blocked.string(), image, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_regular_file(blocked / "inhalt"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bild.bmp", "ordner.bmp"}));
}

TEST(TargetFile, ALinkIsWrittenThroughAndStays) {
    CTempDir dir;
    const std::vector<uint8_t> picture = {'B', 'M', 1, 2, 3};
    fs::create_directory(dir.Path() / "bilder");
    const fs::path target = dir.Path() / "bilder" / "aktuell.bmp";
    WriteText(target, "old picture");
    fs::permissions(target, static_cast<fs::perms>(0640));
    // A relative link, and a link to that link.
    const fs::path link = dir.Path() / "bild.bmp";
    fs::create_symlink("bilder/aktuell.bmp", link);
    const fs::path second = dir.Path() / "noch.bmp";
    fs::create_symlink(link, second);
    std::string error;
    ASSERT_TRUE(WriteTargetFile(second.string(), picture, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(second));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), picture);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bild.bmp", "bilder", "noch.bmp"}));

    // A link whose target does not exist yet makes it.
    const fs::path dangling = dir.Path() / "neu.bmp";
    fs::create_symlink("bilder/neu.bmp", dangling);
    ASSERT_TRUE(WriteTargetFile(dangling.string(), picture, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadFile(dir.Path() / "bilder" / "neu.bmp"), picture);

    // A loop of links is refused.
    fs::create_symlink("b.bmp", dir.Path() / "a.bmp");
    fs::create_symlink("a.bmp", dir.Path() / "b.bmp");
    error.clear();
    EXPECT_FALSE(WriteTargetFile((dir.Path() / "a.bmp").string(), picture, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "a.bmp"));
}

TEST(TargetFile, WhatIsNoPlainFileIsWrittenDirectly) {
    CTempDir dir;
    const std::vector<uint8_t> picture(70000, 0x5A);  // more than a pipe holds at once
    const fs::path fifo = dir.Path() / "bild.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reading end is open before the write, so a writer never blocks and a wrong
    // writer that replaced the FIFO leaves the reader with nothing instead of hanging.
    const int in = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(in, 0);
    std::vector<uint8_t> received;
    std::thread reader([&] {
        uint8_t buf[4096];
        for (int idle = 0; received.size() < picture.size() && idle < 300;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n > 0)
                received.insert(received.end(), buf, buf + n);
            else
                ++idle, std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::string error;
    EXPECT_TRUE(WriteTargetFile(fifo.string(), picture, &error)) << error;
    reader.join();
    ::close(in);
    EXPECT_EQ(received, picture);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"bild.fifo"});

    // A descriptor of the program, by any of its names, is written where it stands.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string fd = std::to_string(ends[1]);
    const fs::path link = dir.Path() / "ausgabe";
    fs::create_symlink("/dev/fd/" + fd, link);
    for (const std::string& name : {"/dev/fd/" + fd, "/proc/self/fd/" + fd, link.string()}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TargetDescriptor(name), ends[1]);
        ASSERT_TRUE(WriteTargetFile(name, {'o', 'k'}, &error)) << error;
        char got[3] = {};
        ASSERT_EQ(::read(ends[0], got, 2), 2);
        EXPECT_STREQ(got, "ok");
    }
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TargetDescriptor("/dev/stdout"), 1);
    EXPECT_EQ(TargetDescriptor("/dev/stderr"), 2);
    EXPECT_EQ(TargetDescriptor((dir.Path() / "bild.fifo").string()), -1);
    EXPECT_EQ(TargetDescriptor("/proc/1/fd/1"), -1) << "another program's descriptor";

    // A folder is no target.
    error.clear();
    EXPECT_FALSE(WriteTargetFile(dir.Path().string(), picture, &error));
    EXPECT_FALSE(error.empty());
}

TEST(TargetFile, KeepingExistingNamesTakesTheFirstFreeNumberAndLeavesNothingBehind) {
    CTempDir dir;
    const std::vector<uint8_t> picture = {'B', 'M', 7, 7};
    const fs::path name = dir.Path() / "bild.bmp";
    WriteText(name, "first");
    // A dangling link is a name that exists too; its target must not be created.
    fs::create_symlink("nirgends.bmp", dir.Path() / "bild-1.bmp");
    std::string error, written;
    ASSERT_TRUE(
        WriteTargetFile(name.string(), picture, &error, ETargetWrite::KeepExisting, &written))
        << error;
    EXPECT_EQ(written, (dir.Path() / "bild-2.bmp").string());
    EXPECT_EQ(ReadFile(written), picture);
    EXPECT_EQ(ReadFile(name), (std::vector<uint8_t>{'f', 'i', 'r', 's', 't'}));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(fs::status(written).permissions(), static_cast<fs::perms>(0666 & ~mask));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bild-1.bmp", "bild-2.bmp", "bild.bmp"}));

    // A device (here a FIFO) is no name a file may be numbered beside.
    const fs::path fifo = dir.Path() / "geraet";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(WriteTargetFile(fifo.string(), picture, &error, ETargetWrite::KeepExisting));
    EXPECT_NE(error.find("ein Gerät"), std::string::npos) << error;
    fs::remove(fifo);

    // A name without an extension, and a hidden one, get the number at their end.
    EXPECT_EQ(NumberedName("/a.b/bild", 3), "/a.b/bild-3");
    EXPECT_EQ(NumberedName("/a/.bild", 1), "/a/.bild-1");

    // The file system refuses the bytes half way: no new name, no temporary file left.
    const std::vector<uint8_t> large(20000, 0x42);
    error.clear();
    EXPECT_FALSE(WithSmallFileLimit([&] {
        return WriteTargetFile(name.string(), large, &error, ETargetWrite::KeepExisting, &written);
    }));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bild-1.bmp", "bild-2.bmp", "bild.bmp"}));
}

TEST(TargetFile, TemporaryFilesOfAKilledRunAreRemovedByTheNextWriteIntoTheFolder) {
    CTempDir dir;
    const auto age = [&](const std::string& name, int seconds) {
        const timespec t{::time(nullptr) - seconds, 0};
        const timespec times[2] = {t, t};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir.Path() / name).c_str(), times, AT_SYMLINK_NOFOLLOW),
                  0);
    };
    for (const char* name : {".pixlane-0a1b2c.part", ".pixlane-zz00zz.part", ".pixlane-1.part",
                             ".pixlane-0a1b2c.part.bmp", "pixlane-0a1b2c.part", "notiz.part"}) {
        WriteText(dir.Path() / name, "halb");
        age(name, 120);
    }
    // Young: a run may be writing it right now.
    WriteText(dir.Path() / ".pixlane-jung00.part", "halb");
    // Not files of their own: a link (to a file elsewhere) and a folder.
    CTempDir elsewhere;
    WriteText(elsewhere.Path() / "fremd", "fremd");
    fs::create_symlink(elsewhere.Path() / "fremd", dir.Path() / ".pixlane-link00.part");
    age(".pixlane-link00.part", 120);
    fs::create_directory(dir.Path() / ".pixlane-ordner.part");
    age(".pixlane-ordner.part", 120);

    std::string error;
    ASSERT_TRUE(WriteTargetFile((dir.Path() / "aktuell.bmp").string(), {'B', 'M'}, &error))
        << error;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{".pixlane-0a1b2c.part.bmp", ".pixlane-1.part",
                                                     ".pixlane-jung00.part", ".pixlane-link00.part",
                                                     ".pixlane-ordner.part", "aktuell.bmp",
                                                     "notiz.part", "pixlane-0a1b2c.part"}));
    EXPECT_EQ(ReadFile(elsewhere.Path() / "fremd"),
              (std::vector<uint8_t>{'f', 'r', 'e', 'm', 'd'}));
}
