#include "dialogs/AutoSpeichernDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "capture/CaptureWindow.h"
#include "capture/KeepTiers.h"
#include "capture/NamePattern.h"
#include "capture/Retention.h"
#include "capture/Units.h"

CAutoSpeichernDlg::CAutoSpeichernDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Automatisch speichern"));

    m_pFolder = new QLineEdit(this);
    m_pFolder->setObjectName(QStringLiteral("ordner"));
    m_pFolder->setMinimumWidth(m_pFolder->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
    auto* browse = new QPushButton(QStringLiteral("Durchsuchen ..."), this);
    browse->setObjectName(QStringLiteral("durchsuchen"));
    browse->setAutoDefault(false);
    m_pPattern = new QLineEdit(this);
    m_pPattern->setObjectName(QStringLiteral("muster"));
    m_pPattern->setToolTip(
        QStringLiteral("%Y %m %d %H %M %S: Datum und Uhrzeit; {channel}, {width}, {height}, "
                       "{seq}: Kanal, Bildgröße, laufende Nummer; .png am Ende speichert PNG"));
    m_pKeep = new QLineEdit(this);
    m_pKeep->setObjectName(QStringLiteral("behalten"));
    m_pKeep->setToolTip(QStringLiteral(
        "Ältere Bilder, die das Journal des Ordners nennt, werden vor dem Speichern gelöscht: "
        "12h, 30d, 365d; eine Zahl allein sind Minuten; oder Stufen wie 7d:all,90d:1h,2y:1d: "
        "alle 7 Tage lang, dann eins je Stunde bis 90 Tage, eins je Tag bis 2 Jahre; das "
        "neueste Bild jeder Kamera bleibt; leer: für immer behalten"));
    m_pMinFree = new QLineEdit(this);
    m_pMinFree->setObjectName(QStringLiteral("frei"));
    m_pMinFree->setToolTip(QStringLiteral(
        "Ist weniger frei, werden vor dem Speichern die ältesten Bilder gelöscht, die das "
        "Journal des Ordners nennt: 500M, 2G (K, M, G, T); leer: keine Grenze"));
    m_pBetween = new QLineEdit(this);
    m_pBetween->setObjectName(QStringLiteral("zwischen"));
    m_pBetween->setToolTip(QStringLiteral(
        "Der Zeitgeber nimmt nur zu diesen Uhrzeiten auf: 06:00-20:00; 22:00-06:00 geht über "
        "Mitternacht; leer: zu jeder Uhrzeit"));
    m_pDaylight = new QLineEdit(this);
    m_pDaylight->setObjectName(QStringLiteral("tageslicht"));
    m_pDaylight->setToolTip(QStringLiteral(
        "Der Zeitgeber nimmt nur von Sonnenaufgang bis Sonnenuntergang an diesem Ort auf: "
        "Breite,Länge in Grad wie 48.14,11.58 (Süden und Westen negativ); leer: auch im "
        "Dunkeln"));
    m_pOn = new QCheckBox(QStringLiteral("ein/aus"), this);
    m_pOn->setObjectName(QStringLiteral("ein"));

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)
        ->setObjectName(QStringLiteral("ok"));
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("abbrechen"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ordner"), this), 0, 0);
    layout->addWidget(m_pFolder, 0, 1);
    layout->addWidget(browse, 0, 2);
    layout->addWidget(new QLabel(QStringLiteral("Namensmuster"), this), 1, 0);
    layout->addWidget(m_pPattern, 1, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Bilder behalten"), this), 2, 0);
    layout->addWidget(m_pKeep, 2, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Mindestens frei"), this), 3, 0);
    layout->addWidget(m_pMinFree, 3, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Nur zwischen"), this), 4, 0);
    layout->addWidget(m_pBetween, 4, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Nur bei Tageslicht an"), this), 5, 0);
    layout->addWidget(m_pDaylight, 5, 1, 1, 2);
    layout->addWidget(m_pOn, 6, 1);
    layout->addWidget(buttons, 7, 0, 1, 3);

    connect(browse, &QPushButton::clicked, this, &CAutoSpeichernDlg::OnBrowse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CAutoSpeichernDlg::DoDataExchange(bool save) {
    if (!save) {
        m_pFolder->setText(QString::fromStdString(m_members.m_sFolder));
        m_pPattern->setText(QString::fromStdString(m_members.m_sPattern));
        m_pKeep->setText(QString::fromStdString(m_members.m_sKeep));
        m_pMinFree->setText(QString::fromStdString(m_members.m_sMinFree));
        m_pBetween->setText(QString::fromStdString(m_members.m_sBetween));
        m_pDaylight->setText(QString::fromStdString(m_members.m_sDaylight));
        m_pOn->setChecked(m_members.m_bOn);
        return true;
    }
    const auto refuse = [this](QLineEdit* edit, const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Pixlane"), text);
        edit->setFocus();
        return false;
    };
    const std::string pattern = m_pPattern->text().toStdString();
    if (const std::string problem = NamePatternProblem(pattern, true); !problem.empty())
        return refuse(m_pPattern,
                      QStringLiteral("Namensmuster ungültig: ") + QString::fromStdString(problem));
    const QString folder = m_pFolder->text().trimmed();
    if (m_pOn->isChecked() && folder.isEmpty())
        return refuse(m_pFolder, QStringLiteral("Bitte einen Ordner angeben !"));
    // A relative folder would be taken from wherever the window happens to be started.
    if (!folder.isEmpty() && !IsAutoSaveFolder(folder.toStdString()))
        return refuse(m_pFolder,
                      QStringLiteral("Bitte den Ordner mit vollständigem Pfad angeben (\"%1\" "
                                     "hängt davon ab, wo Pixlane gestartet wurde) !")
                          .arg(folder));
    const std::string keep = m_pKeep->text().trimmed().toStdString();
    int64_t seconds = 0;
    std::string tiers;
    if (!keep.empty() && !KeepValue(keep, seconds, tiers))
        return refuse(m_pKeep,
                      QStringLiteral("Bilder behalten: \"%1\" ist keine Dauer (%2) !")
                          .arg(QString::fromStdString(keep), QString::fromUtf8(kKeepRuleValues)));
    const std::string minFree = m_pMinFree->text().trimmed().toStdString();
    uint64_t bytes = 0;
    if (!minFree.empty() && !ParseFreeSize(minFree, bytes))
        return refuse(m_pMinFree, QStringLiteral("Mindestens frei: \"%1\" ist keine Größe (%2) !")
                                      .arg(QString::fromStdString(minFree),
                                           QString::fromUtf8(kFreeSizeValues)));
    // Old pictures are removed only where they can be told apart from everything else.
    if (!keep.empty() || !minFree.empty()) {
        if (const std::string problem = CRetention().Place(folder.toStdString(), pattern);
            !folder.isEmpty() && !problem.empty())
            return refuse(keep.empty() ? m_pMinFree : m_pKeep,
                          QStringLiteral("Bilder behalten, mindestens frei: ") +
                              QString::fromStdString(problem));
    }
    const std::string between = m_pBetween->text().trimmed().toStdString();
    const std::string daylight = m_pDaylight->text().trimmed().toStdString();
    CCaptureWindow window;
    std::string fault;
    if (!between.empty() && !ParseBetween(between, window, fault))
        return refuse(m_pBetween,
                      QStringLiteral("Nur zwischen: \"%1\" ist %2 !")
                          .arg(QString::fromStdString(between), QString::fromStdString(fault)));
    if (!daylight.empty() && !ParseDaylight(daylight, window, fault))
        return refuse(m_pDaylight,
                      QStringLiteral("Nur bei Tageslicht: \"%1\" ist %2 !")
                          .arg(QString::fromStdString(daylight), QString::fromStdString(fault)));
    if (!between.empty() && !daylight.empty())
        return refuse(m_pDaylight,
                      QStringLiteral("Bitte entweder Uhrzeiten oder Tageslicht angeben, nicht "
                                     "beides !"));
    m_members.m_sBetween = between;
    m_members.m_sDaylight = daylight;
    m_members.m_sFolder = QDir::cleanPath(folder).toStdString();
    m_members.m_sKeep = keep;
    m_members.m_sMinFree = minFree;
    m_members.m_sPattern = pattern;
    m_members.m_bOn = m_pOn->isChecked();
    return true;
}

void CAutoSpeichernDlg::done(int result) {
    if (result == QDialog::Accepted && !DoDataExchange(true))
        return;
    QDialog::done(result);
}

void CAutoSpeichernDlg::OnBrowse() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Ordner für die Bilder"), m_pFolder->text());
    if (!chosen.isEmpty())
        m_pFolder->setText(chosen);
}
