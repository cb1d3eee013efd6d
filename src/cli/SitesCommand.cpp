#include "cli/SitesCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/ConsoleUi.h"
#include "fleet/SiteBook.h"

namespace {

std::string LinkText(const CSite& s) {
    switch (s.m_eLink) {
        case ESiteLink::kCable:
            return "Kabel";
        case ESiteLink::kModem:
            return s.m_sNumber;
        case ESiteLink::kStored:
            break;
    }
    return s.m_sNumber;
}

std::string LineText(const CSite& s) {
    std::string line = !s.m_sDevice.empty() ? s.m_sDevice
                       : s.m_iCom != 0      ? "COM" + std::to_string(s.m_iCom)
                                            : std::string();
    if (s.m_iBaudrate != 0)
        line += (line.empty() ? "" : " ") + std::to_string(s.m_iBaudrate);
    return line;
}

QJsonValue Text(const std::string& text) {
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(text));
}

QJsonValue Number(int n) {
    return n != 0 ? QJsonValue(n) : QJsonValue(QJsonValue::Null);
}

QJsonObject SiteObject(const CSite& s) {
    QJsonObject o;
    o.insert(QStringLiteral("name"), QString::fromStdString(s.m_sName));
    o.insert(QStringLiteral("description"), Text(s.m_sDescription));
    o.insert(QStringLiteral("device"), Text(s.m_sDevice));
    o.insert(QStringLiteral("com"), Number(s.m_iCom));
    o.insert(QStringLiteral("baud"), Number(s.m_iBaudrate));
    o.insert(QStringLiteral("number"), Text(s.m_sNumber));
    o.insert(QStringLiteral("link"), s.m_eLink == ESiteLink::kModem   ? QJsonValue("modem")
                                     : s.m_eLink == ESiteLink::kCable ? QJsonValue("cable")
                                                                      : QJsonValue());
    QJsonArray channels;
    for (int c : s.m_channels)
        channels.append(c);
    o.insert(QStringLiteral("channels"), channels);
    o.insert(QStringLiteral("width"), Number(s.m_picture.m_nWidth));
    o.insert(QStringLiteral("height"), Number(s.m_picture.m_nHeight));
    o.insert(QStringLiteral("mode"), Number(s.m_picture.m_iMode));
    o.insert(QStringLiteral("colour"),
             s.m_picture.m_bColour ? QJsonValue(*s.m_picture.m_bColour) : QJsonValue());
    o.insert(QStringLiteral("expert"),
             Text(s.m_picture.m_bExpert ? s.m_picture.m_sOffset + "," + s.m_picture.m_sBgroesse +
                                              "," + s.m_picture.m_sBanzahl
                                        : ""));
    o.insert(QStringLiteral("folder"), QString::fromStdString(s.CaptureFolder()));
    o.insert(QStringLiteral("pattern"), Text(s.m_sPattern));
    o.insert(QStringLiteral("journal"), QString::fromStdString(s.CaptureJournal()));
    o.insert(QStringLiteral("file"), QString::fromStdString(s.m_sFile));
    o.insert(QStringLiteral("line"), s.m_nLine);
    return o;
}

void PrintBook(const CSiteBook& book, bool json, std::ostream& out) {
    if (json) {
        QJsonArray sites;
        for (const CSite& s : book.m_sites)
            sites.append(SiteObject(s));
        out << QJsonDocument(sites).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    if (book.m_sites.empty()) {
        out << "Standorte: keine (" << SiteBookPathsText() << ")\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {
        {"NAME", "NUMMER", "LEITUNG", "KANÄLE", "BESCHREIBUNG", "DATEI"}};
    for (const CSite& s : book.m_sites)
        rows.push_back({Cell(s.m_sName), Cell(LinkText(s)), Cell(LineText(s)),
                        Cell(ChannelListText(s.m_channels)), Cell(s.m_sDescription),
                        Cell(s.m_sFile + ":" + std::to_string(s.m_nLine))});
    PrintTable(out, rows);
}

// The site that the options of sites --add describe.
CSite SiteOfOptions(const CCliOptions& o) {
    CSite s;
    s.m_sName = o.m_sAddSite;
    s.m_sDescription = o.m_sDescription;
    s.m_sDevice = o.m_sDevice;
    s.m_iCom = o.m_iCom;
    s.m_iBaudrate = o.m_iBaudrate;
    s.m_sNumber = o.m_sTel_nr.value_or("");
    s.m_eLink = o.m_bLocal   ? ESiteLink::kCable
                : o.m_bModem ? ESiteLink::kModem
                             : ESiteLink::kStored;
    s.m_channels = o.m_channels;
    s.m_picture = PictureChanges(o);
    s.m_sFolder = o.m_sFolder;
    if (o.m_bPatternGiven)
        s.m_sPattern = o.m_sPattern;
    s.m_sJournal = o.m_sJournal;
    s.m_check = o.m_check;
    return s;
}

}  // namespace

int RunSites(const CCliOptions& o, std::ostream& out, CConsoleUi& ui) {
    const std::string path = o.m_bSystemBook ? SystemSiteBookPath() : UserSiteBookPath();
    std::string error;
    if (!o.m_sAddSite.empty()) {
        if (!StoreSite(path, SiteOfOptions(o), &error)) {
            ui.Note("Standort " + o.m_sAddSite + " nicht gespeichert: " + error);
            return 1;
        }
        out << "Standort " << o.m_sAddSite << " gespeichert in " << path << '\n';
        return 0;
    }
    if (!o.m_sRemoveSite.empty()) {
        bool found = false;
        if (!RemoveSite(path, o.m_sRemoveSite, found, &error)) {
            ui.Note("Standort " + o.m_sRemoveSite + " nicht entfernt: " + error);
            return 1;
        }
        if (!found) {
            ui.Note("Standort " + o.m_sRemoveSite + " steht nicht in " + path);
            return 1;
        }
        out << "Standort " << o.m_sRemoveSite << " entfernt aus " << path << '\n';
        return 0;
    }
    const CSiteBook book = ReadSiteBook();
    for (const std::string& problem : book.m_problems)
        ui.Note(problem);
    PrintBook(book, o.m_bJson, out);
    return 0;
}
