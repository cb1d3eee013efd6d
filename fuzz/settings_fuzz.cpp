// The settings store holding any text: the input is the settings file as a person might
// have edited it. The program starts from it, builds the request for the picture it
// describes, sets up a fetch over a silent line, and writes the settings back at the end;
// what it wrote, read again from the file as the next start reads it, must be the same
// settings.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
#include "app/PortSettings.h"
#include "capture/NamePattern.h"
#include "fuzz/FuzzSupport.h"
#include "link/ComPort.h"

namespace {

constexpr int kTallestSetUp = 320;

// Every stored value as the program holds it ("open" aside, which is always written as 0).
std::string StoredValues(const CPixlaneApp& a) {
    std::string s;
    for (int v : {a.m_iCom,         a.m_iBaudrate,       a.m_iMonochrom,        a.m_iBildbreite,
                  a.m_iBildhoehe,   int{a.m_bkompri},    int{a.m_bFrei},        a.m_iLokal,
                  a.m_iModus,       a.m_iKanal,          a.lokal_control,       a.lokal_control2,
                  int{a.m_bExpert}, int{a.b_Ein_dlg_ok}, int{a.m_bZeilenweise}, int{a.nibb2},
                  a.Start,          int{a.sHandshake},   int{a.m_bHandshake},   int{a.m_bTimer}})
        s += std::to_string(v) + ';';
    for (const std::string* t :
         {&a.m_sOffset, &a.m_sBgroesse, &a.m_sBanzahl, &a.m_sTel_nr, &a.m_STimerTime})
        s += std::to_string(t->size()) + ':' + *t + ';';
    return s;
}

// What the program reads but leaves as it is when it writes its settings: auto-save and
// the devices of the port numbers.
std::vector<std::string> CarriedValues(const CPixlaneApp& a, QSettings& store) {
    std::vector<std::string> values{std::to_string(int{a.m_bAutoSave}), a.m_sAutoSaveFolder,
                                    a.m_sAutoSavePattern};
    // As the program reads a stored device (StoredPortDevice), without reading every
    // section again for each: the program has read the whole store just before.
    for (int port = 1; port <= 9; ++port) {
        const std::optional<QString> device =
            StoredText(store, QStringLiteral("Ports/COM%1").arg(port));
        values.push_back(device ? device->toStdString() : std::string());
    }
    return values;
}

// Every value the program had is there again as it was. One it did not see may turn up:
// the store writes a key of a section it names in an odd way ("[/Ports]") where the next
// start finds it.
bool NoneLost(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    if (before.size() != after.size())
        return false;
    for (size_t i = 0; i < before.size(); ++i)
        if (!before[i].empty() && before[i] != after[i])
            return false;
    return true;
}

// A file of the run, in memory where the system offers it.
QString RunFile(const char* name) {
    static const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(QDir(base).filePath(QStringLiteral("pixlane-fuzz-XXXXXX")));
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QString::fromLatin1(name));
}

// The store keeps what it has read of a file by name for the whole process and reads the
// file again only when its size or modification time changed: a rewritten file could be
// taken for the one it read before. Every version of the file gets a time of its own, so
// that each store reads the file as a newly started program does. The file is written
// and stamped with the system's own calls: a run is to spend its time in the program.
void StampFile(const std::string& path) {
    static time_t serial = 0;
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000 + ++serial, 0}};
    FUZZ_CHECK(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size));
    FUZZ_CHECK(::close(fd) == 0);
    StampFile(path);
}

// Whether the store read the whole text and can write back each value as it read it. The
// program has read every section when it started, so asking changes nothing it reads. An
// escape in a value can give half of a surrogate pair, which no text file holds: the store
// writes a replacement character for it.
bool ReadsWhole(QSettings& store) {
    const QStringList keys = store.allKeys();
    if (store.status() != QSettings::NoError)
        return false;
    for (const QString& key : keys) {
        const QVariant v = store.value(key);
        QStringList texts;
        if (v.typeId() == QMetaType::QString)
            texts.append(v.toString());
        else if (v.typeId() == QMetaType::QStringList)
            texts = v.toStringList();
        else if (v.typeId() == QMetaType::QVariantList)
            for (const QVariant& piece : v.toList())
                texts.append(piece.toString());
        for (const QString& t : texts)
            if (QString::fromUtf8(t.toUtf8()) != t)
                return false;
    }
    return true;
}

}  // namespace

// A hand-edited "@Variant(...)" value makes the settings store decode it, and a corrupt
// length in it asks for up to gigabytes, which it never uses: the text ends long before.
// A system short of that memory refuses such a request, which the store copes with; the
// sanitizer's allocator is to refuse it the same way, from 64 MB on (no run needs a tenth
// of that: the fuzzer's own largest block is 20 MB, the program's a megabyte), instead
// of ending the run or marking up every byte of it in its bookkeeping, which for the
// 150 MB of a list of six million texts took 60 ms a run.
// The store makes hundreds of small allocations a run, most of them for single
// characters of the values; recording where each was made would take a quarter of the time.
// A report still shows where the fault happened (run the input again with
// ASAN_OPTIONS=malloc_context_size=30 to see where its memory came from). A run frees
// about 300 KB in a thousand blocks; a freed block waits in a quarantine of 4 MB, through
// the rest of its run and about a dozen runs after it, before it is used again, so a use
// after a free within a run is still found. A larger quarantine hands out only blocks that
// have long gone cold: with 64 MB the allocator's first touch of each new block took a
// quarter of the run's time.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=64:malloc_context_size=0:"
           "quarantine_size_mb=4";
}

// The settings store keeps what it has read of a file for the whole process, so every run
// ends with more memory held than it began with; a leak check after each run would find
// only that, and cost most of the time.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args(*argv, *argv + *argc);
    static char noLeaks[] = "-detect_leaks=0";
    args.insert(args.begin() + 1, noLeaks);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = RunFile("settings.conf");
    static const std::string file = QFile::encodeName(path).toStdString();
    WriteFile(file, data, size);
    // The user interface lives on, so that a picture of the size before reuses its screen.
    static CFuzzUi ui;
    std::string written;
    std::vector<std::string> carried;
    bool wellFormed = false;
    {
        QSettings store(path, QSettings::IniFormat);
        CPixlaneApp app;
        CFuzzRig rig(app.Line(), nullptr, 0);  // the module is silent
        app.SetUi(&ui);
        FUZZ_CHECK(app.InitInstance(&store));
        // Of a file the store cannot read whole it may write back what it did not hand out
        // before (keys of a broken line, say); what the program itself writes must read
        // back whatever the file was.
        wellFormed = ReadsWhole(store);
        // A stored pattern that cannot name files gives the default; without a folder
        // auto-save stays off.
        FUZZ_CHECK(NamePatternProblem(app.m_sAutoSavePattern).empty());
        FUZZ_CHECK(!app.m_bAutoSave || !app.m_sAutoSaveFolder.empty());
        bool refused = false;
        const std::string frame = app.BuildRequestFrame(refused);
        FUZZ_CHECK(frame.empty() || frame.size() == 18);
        FUZZ_CHECK(!refused || frame.empty());
        // The fetch runs even when a stored "open" kept the port shut: its write then fails.
        // Pictures taller than the module sends are left to the receive harness, which
        // chooses them on request: setting up their fetch costs tens of megabytes a run.
        CFakeLine* line = rig.Opened();
        const int H = app.m_iBildhoehe;
        if (H <= kTallestSetUp || H > CImage::kMaxSide) {
            FUZZ_CHECK(!app.FetchImage());
            if (line != nullptr && frame.empty())
                FUZZ_CHECK(line->Writes().empty());
            if (line != nullptr && !frame.empty())
                FUZZ_CHECK(!line->Writes().empty() && line->Writes()[0].m_sBytes == frame);
        }
        written = StoredValues(app);
        carried = CarriedValues(app, store);
        app.ExitInstance();
    }
    StampFile(file);
    {
        QSettings store(path, QSettings::IniFormat);
        CPixlaneApp again;
        again.ReadSettings(store);
        again.ReadAutoSave(store);
        FUZZ_CHECK(StoredValues(again) == written);
        FUZZ_CHECK(!wellFormed || NoneLost(carried, CarriedValues(again, store)));
        FUZZ_CHECK(!again.m_bPortOpen);
    }
    return 0;
}
