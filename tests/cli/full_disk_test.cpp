// Every way a picture or a journal line is written, on a real file system that is full, and
// the settings file in a folder on one that is read-only: small memory file systems mounted
// by the test in a mount namespace of its own. Module and line are simulated, in virtual
// time; the files are real.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CliRunner.h"
#include "app/Commands.h"
#include "app/RecordingUi.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

namespace {

const char* const kNoSpace = "kein Platz mehr auf dem Datenträger";

class SmallDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting a file system needs root; this test runs as uid "
                         << ::geteuid();
        // Once for the process: what it mounts from then on no other process sees.
        static const int s_nRefused =
            ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                ? 0
                : errno;
        if (s_nRefused != 0)
            GTEST_SKIP() << "the machine gives the test no mount namespace of its own: "
                         << std::strerror(s_nRefused);
        ASSERT_TRUE(m_disk.isValid() && m_roomy.isValid());
        RemoveSettings();
        m_factory.Attach(1, &m_module);
    }
    void TearDown() override {
        for (const std::string& at : m_mounted)
            ::umount2(at.c_str(), MNT_DETACH);
        RemoveSettings();
    }
    // A memory file system of 100 KiB over the folder (and what was mounted there before).
    void Mount(const std::string& at, unsigned long flags = 0) {
        ::umount2(at.c_str(), MNT_DETACH);
        ASSERT_EQ(::mount("tmpfs", at.c_str(), "tmpfs", flags, "size=100k"), 0)
            << std::strerror(errno);
        m_mounted.push_back(at);
    }
    std::string Disk(const char* name) const { return m_disk.filePath(name).toStdString(); }
    std::string Roomy(const char* name) const { return m_roomy.filePath(name).toStdString(); }
    // Fills the file system, then gives whole pages back until about `room` bytes are free.
    void FillLeaving(off_t room) {
        const int fd = ::open(Disk("fill").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::vector<char> block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ASSERT_EQ(::ftruncate(fd, std::max<off_t>(0, ::lseek(fd, 0, SEEK_END) - room)), 0);
        ::close(fd);
    }
    // Every file on the disk but the filler (hidden ones too), with a hash of its bytes.
    std::map<std::string, size_t> Contents() const {
        std::map<std::string, size_t> all;
        QDirIterator it(m_disk.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const std::string path = it.next().toStdString(); it.fileName() != "fill")
                all[path] = std::hash<std::string>{}(FileBytes(path).value_or(""));
        return all;
    }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // The last line of a picture or step; a round's own line comes after them.
    static QJsonObject LastLine(const std::string& path) {
        QByteArray all = QByteArray::fromStdString(FileBytes(path).value_or("")).trimmed();
        if (all.mid(all.lastIndexOf('\n') + 1).contains(R"("event":"round")"))
            all.truncate(std::max<qsizetype>(all.lastIndexOf('\n'), 0));
        return QJsonDocument::fromJson(all.mid(all.lastIndexOf('\n') + 1)).object();
    }

    // pixlane-cli in process, on the fake line in virtual time.
    CCliResult Run(std::vector<std::string> args) {
        return RunCliWith(std::move(args), false, {&m_clock, &m_factory, {}});
    }

    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CModuleSim m_module;
    QTemporaryDir m_disk;   // the small file system is mounted here
    QTemporaryDir m_roomy;  // on the ordinary disk
    std::vector<std::string> m_mounted;
};

TEST_F(SmallDiskTest, EveryWritePathSaysSoKeepsWhatWasThereAndLeavesNothingHalfWritten) {
    // With 12 kB free the first pages of a 27 kB picture go out and the rest does not fit,
    // as on the site where a picture was replaced by its first 16 kB.
    const off_t someRoom = 12 * 1024;
    const std::string old(26998, 'o');
    CRecordingUi ui;
    const auto window = [this, &ui] {
        auto app = std::make_unique<CPixlaneApp>();
        app->Line().SetClock(&m_clock);
        app->Line().SetLineFactory(&m_factory);
        app->SetUi(&ui);
        app->BuildYuvTables();
        EXPECT_TRUE(app->OpenConfiguredPort());
        return app;
    };
    struct CCase {
        const char* m_pName;
        std::function<void()> m_prepare;     // what is there before
        off_t m_nRoom;                       // then left free
        std::function<std::string()> m_run;  // what the user was shown
        bool m_bCause = true;                // and whether that names the cause
    };
    const CCase cases[] = {
        {"fetch -o over a picture", [&] { Put(Disk("pic.bmp"), old); }, someRoom,
         [&] {
             const CCliResult r = Run({"--quiet", "fetch", "-o", Disk("pic.bmp")});
             EXPECT_EQ(r.m_nExit, 1);
             EXPECT_EQ(r.m_sOut, "");
             return r.m_sErr;
         }},
        {"fetch -o a new PNG file", [] {}, 0,
         [&] {
             const CCliResult r = Run({"--quiet", "fetch", "-o", Disk("neu.png")});
             EXPECT_EQ(r.m_nExit, 1);
             return r.m_sErr;
         }},
        {"Speichern in the window", [&] { Put(Disk("bild.bmp"), old); }, someRoom,
         [&] {
             const auto app = window();
             EXPECT_TRUE(app->GetImage());
             ui.m_sSaveAs = Disk("bild.bmp");
             app->SaveImage();
             return ui.m_messages.empty() ? "" : ui.m_messages.back();
         }},
        {"capture -o", [] {}, someRoom,
         [&] {
             const CCliResult r = Run(
                 {"--quiet", "capture", "-o", Disk("k{channel}.bmp"), "--journal", Roomy("j1")});
             EXPECT_EQ(r.m_nExit, 1);
             EXPECT_EQ(LastLine(Roomy("j1"))["result"].toString(), "failed");
             return r.m_sErr;
         }},
        {"capture --latest", [&] { Put(Disk("aktuell.bmp"), old); }, someRoom,
         [&] {
             const CCliResult r = Run({"--quiet", "capture", "-o", Roomy("k{channel}.bmp"),
                                       "--latest", Disk("aktuell.bmp"), "--journal", Roomy("j2")});
             EXPECT_EQ(r.m_nExit, 1);
             EXPECT_EQ(r.m_sOut, Roomy("k1.bmp") + "\n") << "the picture itself is kept";
             const QJsonObject line = LastLine(Roomy("j2"));
             EXPECT_EQ(line["result"].toString(), "latest_failed");
             EXPECT_NE(line["message"].toString().indexOf(kNoSpace), -1);
             return r.m_sErr;
         }},
        // The journal's last page has room for a part of a line only.
        {"auto-save of a loop cycle and its journal line",
         [&] {
             QDir().mkpath(Disk("auto").c_str());
             Put(Disk("auto/pixlane-journal.jsonl"), std::string(3999, 'j') + "\n");
         },
         0,
         [&] {
             const auto app = window();
             app->m_bAutoSave = true;
             app->m_sAutoSaveFolder = Disk("auto");
             app->OnCommand(ID_LOOP_BILD);
             return ui.m_status.empty() ? "" : ui.m_status.back();
         },
         false},  // the window's status bar names no cause
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pName);
        ASSERT_NO_FATAL_FAILURE(Mount(m_disk.path().toStdString()));
        c.m_prepare();
        FillLeaving(c.m_nRoom);
        const auto before = Contents();
        const std::string shown = c.m_run();
        EXPECT_EQ(shown.rfind("Fehler beim Speichern !", 0), 0u) << shown;
        if (c.m_bCause) {
            EXPECT_NE(shown.find(kNoSpace), std::string::npos) << shown;
        }
        EXPECT_EQ(Contents(), before) << "what was there stays whole, nothing new stays";
    }
}

// --min-free against the free space the file system itself reports: with 100 KiB, four
// files of five pages each leave five pages free; 44 KiB asks for eleven, so the two
// oldest pictures the journal names go, the file it does not name stays.
TEST_F(SmallDiskTest, MinFreeRemovesTheOldestJournalledPicturesUntilTheRoomIsThere) {
    ASSERT_NO_FATAL_FAILURE(Mount(m_disk.path().toStdString()));
    std::string journal;
    // The lines out of order: the times decide which picture is the oldest. Each file was
    // written when its line says.
    for (const auto& [name, day] :
         {std::pair{"k5.bmp", 2}, {"k6.bmp", 3}, {"k4.bmp", 1}, {"fremd.bmp", 0}}) {
        Put(Disk(name), "BM" + std::string(19998, 'o'));
        if (day == 0)
            continue;
        const std::string time = "2026-01-0" + std::to_string(day) + "T00:00:00+00:00";
        const timespec written{
            static_cast<time_t>(QDateTime::fromString(QString::fromStdString(time), Qt::ISODate)
                                    .toSecsSinceEpoch()),
            0};
        const timespec times[2] = {written, written};
        ASSERT_EQ(::utimensat(AT_FDCWD, Disk(name).c_str(), times, 0), 0);
        journal += R"({"time":")" + time +
                   R"(","event":"picture","channel":1,"result":"ok","file":")" + Disk(name) +
                   "\"}\n";
    }
    Put(Roomy("j"), journal);
    const CCliResult r = Run({"--quiet", "capture", "-o", Disk("k{channel}.bmp"), "--journal",
                              Roomy("j"), "--min-free", "44K"});
    EXPECT_EQ(r.m_nExit, 0) << r.m_sErr;
    std::vector<std::string> left;
    for (const auto& [path, hash] : Contents())
        left.push_back(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    EXPECT_EQ(left, (std::vector<std::string>{"fremd.bmp", "k1.bmp", "k6.bmp"}));
}

TEST_F(SmallDiskTest, ASettingsFolderOnAReadOnlyDiskIsNamedAsTheCause) {
    const std::string folder = QFileInfo(SettingsPath().c_str()).path().toStdString();
    ASSERT_TRUE(QDir().mkpath(folder.c_str()));
    ASSERT_NO_FATAL_FAILURE(Mount(folder, MS_RDONLY));
    const CCliResult r = Run({"ports", "--assign", "2", "/dev/ttyACM0"});
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(r.m_sErr, "pixlane-cli: Ordner " + folder +
                            " ist nicht beschreibbar: die Sperrdatei der Einstellungen kann dort "
                            "nicht angelegt werden\n");
}

}  // namespace
