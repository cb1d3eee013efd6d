#include "cli/PortsCommand.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/PortSettings.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "link/NetAddress.h"
#include "link/PortList.h"
#include "link/PrintableText.h"
#include "platform/SerialPorts.h"

namespace {

constexpr int kPortNumbers = 9;

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

std::string StoredKey(int n) {
    return "Ports/" + PortName(n);
}

std::string HexId(const std::optional<uint16_t>& id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id.value_or(0));
    return text;
}

// Where a port number's device comes from, as the list names it.
std::string SourceText(int n, EPortSource source) {
    switch (source) {
        case EPortSource::System:
            return "System";
        case EPortSource::Environment:
            return "PIXLANE_" + PortName(n);
        case EPortSource::Stored:
            return StoredKey(n);
        case EPortSource::Default:
            break;
    }
    return "Vorgabe";
}

const char* SourceKey(EPortSource source) {
    switch (source) {
        case EPortSource::System:
            return "system";
        case EPortSource::Environment:
            return "environment";
        case EPortSource::Stored:
            return "settings";
        case EPortSource::Default:
            break;
    }
    return "default";
}

// The line behind port number n, with what the store holds for it.
CPortName NumberedPort(QSettings& store, int n) {
    return ResolvePortLine(n, StoredPortDevice(store, n));
}

// Whether the line is there, as the list says it: a device server's port is not tried.
std::string PresentText(const std::string& line) {
    if (IsNetAddressText(line))
        return "Netzwerk";
    return IsDevicePresent(line) ? "ja" : "nein";
}

void PrintList(QSettings& store, std::ostream& out) {
    const std::vector<CSerialPortEntry> ports = ListSerialPorts();
    if (ports.empty()) {
        out << "Serielle Schnittstellen: keine gefunden\n";
    } else {
        out << "Serielle Schnittstellen:\n";
        std::vector<std::vector<std::string>> rows = {{"GERÄT", "BESCHREIBUNG", "HERSTELLER",
                                                       "SERIENNUMMER", "USB-ID", "LATENZ",
                                                       "FESTER NAME"}};
        for (const CSerialPortEntry& p : ports)
            rows.push_back(
                {Cell(p.m_sDevice), Cell(p.m_sDescription), Cell(p.m_sManufacturer),
                 Cell(p.m_sSerialNumber),
                 p.m_nVendorId && p.m_nProductId
                     ? HexId(p.m_nVendorId) + ":" + HexId(p.m_nProductId)
                     : "-",
                 p.m_nLatencyTimerMs ? std::to_string(*p.m_nLatencyTimerMs) + " ms" : "-",
                 Cell(p.m_sStableName)});
        PrintTable(out, rows);
    }
    out << "\nPortnummern:\n";
    std::vector<std::vector<std::string>> rows = {{"PORT", "GERÄT", "VORHANDEN", "QUELLE"}};
    for (int n = 1; n <= kPortNumbers; ++n) {
        const CPortName name = NumberedPort(store, n);
        rows.push_back({PortName(n), Cell(name.m_sDevice), PresentText(name.m_sDevice),
                        SourceText(n, name.m_eSource)});
    }
    PrintTable(out, rows);
}

QJsonValue JsonText(const std::string& text) {
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

QJsonValue JsonId(const std::optional<uint16_t>& id) {
    return id ? QJsonValue(QString::fromStdString(HexId(id))) : QJsonValue();
}

void PrintJson(QSettings& store, std::ostream& out) {
    QJsonArray ports;
    for (const CSerialPortEntry& p : ListSerialPorts())
        ports.append(
            QJsonObject{{"device", JsonText(p.m_sDevice)},
                        {"description", JsonText(p.m_sDescription)},
                        {"manufacturer", JsonText(p.m_sManufacturer)},
                        {"serialNumber", JsonText(p.m_sSerialNumber)},
                        {"vendorId", JsonId(p.m_nVendorId)},
                        {"productId", JsonId(p.m_nProductId)},
                        {"stableName", JsonText(p.m_sStableName)},
                        {"latencyTimerMs",
                         p.m_nLatencyTimerMs ? QJsonValue(*p.m_nLatencyTimerMs) : QJsonValue()}});
    QJsonArray numbers;
    for (int n = 1; n <= kPortNumbers; ++n) {
        const CPortName name = NumberedPort(store, n);
        // A device server's port is not tried: whether it is there is not known.
        const bool network = IsNetAddressText(name.m_sDevice);
        numbers.append(QJsonObject{
            {"port", n},
            {"name", QString::fromStdString(PortName(n))},
            {"device", QString::fromStdString(name.m_sDevice)},
            {"source", QLatin1String(SourceKey(name.m_eSource))},
            {"present", network ? QJsonValue() : QJsonValue(IsDevicePresent(name.m_sDevice))}});
    }
    const QJsonObject all{{"serialPorts", ports}, {"portNumbers", numbers}};
    out << QJsonDocument(all).toJson(QJsonDocument::Indented).toStdString();
}

// A device server's port for port number n, on every system: stored as given.
int AssignNetwork(const CCliOptions& o, QSettings& store, std::ostream& out, CConsoleUi& ui) {
    const int n = o.m_iAssign;
    std::string error;
    if (!StorePortDevice(store, n, o.m_sAssignDevice, &error)) {
        ui.Note("pixlane-cli: " + error);
        return 1;
    }
    out << "Gespeichert: " << StoredKey(n) << " = " << PrintableText(o.m_sAssignDevice) << '\n';
    if (NumberedPort(store, n).m_eSource == EPortSource::Environment)
        ui.Note("PIXLANE_" + PortName(n) + " ist gesetzt und gilt vor dem gespeicherten Wert");
    return 0;
}

int Assign(const CCliOptions& o, QSettings& store, std::ostream& out, CConsoleUi& ui) {
    const int n = o.m_iAssign;
    if (!o.m_bClear && IsNetAddressText(o.m_sAssignDevice))
        return AssignNetwork(o, store, out, ui);
    if (PortsHaveSystemNames()) {
        ui.Note("Unter Windows ist Port " + std::to_string(n) + " immer " + PortName(n) +
                "; es gibt nichts zuzuordnen");
        return 1;
    }
    std::string stored;
    std::string given;
    if (!o.m_bClear) {
        // Stored as a whole path, so that it means the same from every folder.
        given =
            QFileInfo(QString::fromStdString(o.m_sAssignDevice)).absoluteFilePath().toStdString();
        stored = StableSerialName(given);
        if (stored.empty())
            stored = given;
    }
    const bool had = !StoredPortDevice(store, n).empty();
    std::string error;
    if (!StorePortDevice(store, n, stored, &error)) {
        ui.Note("pixlane-cli: " + error);
        return 1;
    }
    if (o.m_bClear) {
        out << (had ? "Entfernt: " + StoredKey(n) : "Nichts gespeichert für " + PortName(n)) << " ("
            << PortName(n) << " ist jetzt " << PrintableText(NumberedPort(store, n).m_sDevice)
            << ")\n";
    } else {
        out << "Gespeichert: " << StoredKey(n) << " = " << PrintableText(stored);
        if (stored != given)
            out << " (fester Name von " << PrintableText(given) << ")";
        out << '\n';
        if (!IsDevicePresent(stored))
            ui.Note("Gerät " + PrintableText(stored) + " ist derzeit nicht vorhanden");
    }
    if (NumberedPort(store, n).m_eSource == EPortSource::Environment)
        ui.Note("PIXLANE_" + PortName(n) + " ist gesetzt und gilt vor dem gespeicherten Wert");
    return 0;
}

}  // namespace

int RunPorts(const CCliOptions& o, QSettings& store, std::ostream& out, CConsoleUi& ui) {
    if (o.m_iAssign != 0)
        return Assign(o, store, out, ui);
    if (o.m_bJson)
        PrintJson(store, out);
    else
        PrintList(store, out);
    return 0;
}
