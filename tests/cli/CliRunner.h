#pragma once

// Runs pixlane-cli in process and looks after the sandboxed settings file it must leave
// alone.

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/PixlaneApp.h"
#include "cli/CliMain.h"
#include "image/Bmp.h"
#include "image/Image.h"
#include "sim/TestPicture.h"

struct CCliResult {
    int m_nExit = -1;
    std::string m_sOut;
    std::string m_sErr;
};

// The line runs on what line gives: the system clock and the serial back end without.
inline CCliResult RunCliWith(std::vector<std::string> args, bool terminal = false,
                             const CCliLine& line = {}) {
    args.insert(args.begin(), "pixlane-cli");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    CCliResult r;
    r.m_nExit = RunCli(static_cast<int>(args.size()), argv.data(), out, err, terminal, line);
    r.m_sOut = out.str();
    r.m_sErr = err.str();
    return r;
}

// The user's settings file (inside the test's sandbox home).
inline std::string SettingsPath() {
    return QSettings(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication)
        .fileName()
        .toStdString();
}

inline std::optional<std::string> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void RemoveSettings() {
    QFile::remove(QString::fromStdString(SettingsPath()));
}

// Stores the values in the settings section (names as the window stores them) and, with
// ports, the top-level "Ports/COMn" entries.
inline void StoreSettings(const std::vector<std::pair<const char*, QVariant>>& values,
                          const std::vector<std::pair<int, std::string>>& ports = {}) {
    QSettings store(CPixlaneApp::kOrganisation, CPixlaneApp::kApplication);
    store.beginGroup(CPixlaneApp::kSection);
    for (const auto& [name, value] : values)
        store.setValue(name, value);
    store.endGroup();
    for (const auto& [n, device] : ports)
        store.setValue(QStringLiteral("Ports/COM%1").arg(n), QString::fromStdString(device));
    store.sync();
}

// The BMP file of a grey picture exactly as the image layer writes it.
inline std::string GreyBmpFile(const CGreyPicture& pic) {
    CImage image;
    image.Create(pic.m_nWidth, pic.m_nHeight, false);
    image.AllocateBits();
    for (int y = 0; y < pic.m_nHeight; ++y)
        for (int x = 0; x < pic.m_nWidth; ++x)
            image.Row(y)[x] = pic.At(x, y);
    const std::vector<uint8_t> bytes = BuildBmpFile(image);
    return std::string(bytes.begin(), bytes.end());
}

inline std::string AbsolutePath(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}
