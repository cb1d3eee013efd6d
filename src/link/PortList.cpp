#include "link/PortList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

#include "platform/SerialPorts.h"

std::vector<CSerialPortEntry> ListSerialPorts() {
    std::vector<CSerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        CSerialPortEntry e;
        e.m_sDevice =
            (PortsHaveSystemNames() ? info.portName() : info.systemLocation()).toStdString();
        e.m_sDescription = info.description().toStdString();
        e.m_sManufacturer = info.manufacturer().toStdString();
        e.m_sSerialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier())
            e.m_nVendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            e.m_nProductId = info.productIdentifier();
        e.m_sStableName = StableSerialName(e.m_sDevice);
        e.m_nLatencyTimerMs = LatencyTimerMs(e.m_sDevice);
        ports.push_back(std::move(e));
    }
    std::sort(ports.begin(), ports.end(), [](const CSerialPortEntry& a, const CSerialPortEntry& b) {
        return a.m_sDevice < b.m_sDevice;
    });
    return ports;
}

std::string StableSerialName(const std::string& device, const std::string& folder) {
    if (PortsHaveSystemNames())
        return {};
    const QString target = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(QString::fromStdString(folder));
    const QFileInfo self(QString::fromStdString(device));
    if (self.absolutePath() == dir.absolutePath())
        return self.absoluteFilePath().toStdString();
    // Names are links; sorted, so that the same device always gives the same name.
    const QFileInfoList names =
        dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& name : names)
        if (name.canonicalFilePath() == target)
            return name.absoluteFilePath().toStdString();
    return {};
}

std::optional<int> LatencyTimerMs(const std::string& device, const std::string& folder) {
    // A link (a stable name) leads to the device whose name the driver's folder has.
    const QString target = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    if (target.isEmpty())
        return std::nullopt;
    QFile file(QDir(QString::fromStdString(folder))
                   .filePath(QFileInfo(target).fileName() + QStringLiteral("/latency_timer")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int ms = file.read(16).trimmed().toInt(&ok);
    if (!ok || ms < 0)
        return std::nullopt;
    return ms;
}

bool IsDevicePresent(const std::string& device) {
    if (!PortsHaveSystemNames())
        return QFileInfo::exists(QString::fromStdString(device));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.portName().compare(QString::fromStdString(device), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}
