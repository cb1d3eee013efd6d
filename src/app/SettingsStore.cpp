#include "app/SettingsStore.h"

#include <QSettings>
#include <QTemporaryDir>

#include "app/PixlaneApp.h"
#include "capture/InputFile.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace {
// Why the store must not read the file: no regular file, or a larger one than a settings
// file ever is; empty when it may (also when it is missing or cannot be read, which the
// store takes in its stride).
std::string Refusal(const std::string& path) {
    if (std::string kind = PathNotAFileText(path); !kind.empty())
        return kind;
    CInputFile file;
    std::string why;
    if (file.Open(path, &why) && file.Size() > kMaxTextFileBytes)
        return "ist größer als " + std::to_string(kMaxTextFileBytes >> 20) + " MiB";
    return {};
}
}  // namespace

CSettingsStore::CSettingsStore() = default;
CSettingsStore::~CSettingsStore() = default;
CSettingsStore::CSettingsStore(CSettingsStore&&) noexcept = default;
CSettingsStore& CSettingsStore::operator=(CSettingsStore&&) noexcept = default;

CSettingsStore OpenSettingsStore() {
    CSettingsStore opened;
    const std::vector<std::string> files =
        NativeSettingsFiles(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
    std::vector<std::pair<std::string, std::string>> refused;  // file, why
    for (const std::string& file : files)
        if (std::string why = Refusal(file); !why.empty())
            refused.emplace_back(file, std::move(why));
    if (refused.empty()) {
        opened.m_pStore =
            std::make_unique<QSettings>(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
        return opened;
    }
    const std::string& user = files.front();
    for (const auto& [file, why] : refused)
        opened.m_problems.push_back(
            "Einstellungsdatei " + file + " " + why +
            (file == user ? "; es gelten die Voreinstellungen, und dort wird nichts gespeichert"
                          : "; gelesen wird nur " + user));
    if (refused.front().first != user) {
        opened.m_pStore =
            std::make_unique<QSettings>(QString::fromStdString(user), QSettings::NativeFormat);
        return opened;
    }
    opened.m_bWritable = false;
    opened.m_pScratch = std::make_unique<QTemporaryDir>();
    opened.m_pStore = std::make_unique<QSettings>(
        opened.m_pScratch->filePath(QStringLiteral("einstellungen.conf")), QSettings::NativeFormat);
    return opened;
}
