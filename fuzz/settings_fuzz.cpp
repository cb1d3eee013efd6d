// The settings store holding any text: the input is the settings file as a person might
// have edited it. The program starts from it, builds the request for the picture it
// describes, sets up a fetch over a silent line, and writes the settings back at the end;
// what it wrote must read back as the same settings.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

#include "app/PixlaneApp.h"
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

// A file of its own for every input: the store keeps what it read of a file by name and
// would take a rewritten file of the same size within the same moment for unchanged.
QString NextFile() {
    // In memory where the system offers it: the harness writes two files an input.
    static const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(QDir(base).filePath(QStringLiteral("pixlane-fuzz-XXXXXX")));
    static unsigned serial = 0;
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QStringLiteral("settings-%1.conf").arg(++serial));
}

}  // namespace

// A hand-edited "@Variant(...)" value makes the settings store decode it, and a corrupt
// length in it asks for tens of gigabytes, which the system refuses and the store copes
// with. The sanitizer's allocator is to refuse such a request the same way instead of
// ending the run.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
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
    const QString path = NextFile();
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                   static_cast<qint64>(size));
    }
    std::string written;
    {
        CFuzzRig rig(nullptr, 0);  // the module is silent
        CFuzzUi ui;
        QSettings store(path, QSettings::IniFormat);
        CPixlaneApp app;
        app.SetUi(&ui);
        FUZZ_CHECK(app.InitInstance(&store));
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
        app.ExitInstance();
    }
    {
        QSettings store(path, QSettings::IniFormat);
        CPixlaneApp again;
        again.ReadSettings(store);
        FUZZ_CHECK(StoredValues(again) == written);
        FUZZ_CHECK(!again.m_bPortOpen);
    }
    QFile::remove(path);
    return 0;
}
