#include "dialogs/StandorteDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QLineEdit* Edit(const std::string& text, const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// The journal's result in the user's words; a word this version does not know is shown
// as it stands.
QString ResultText(const std::string& result) {
    static const std::pair<const char*, const char*> kWords[] = {
        {"ok", "gut"},
        {"partial", "teilweise"},
        {"failed", "fehlgeschlagen"},
        {"refused", "abgelehnt"},
        {"broken", "fehlerhaft"},
        {"stopped", "abgebrochen"},
        {"busy", "besetzt"},
        {"latest_failed", "gut, Kopie fehlt"},
    };
    for (const auto& [word, text] : kWords)
        if (result == word)
            return QString::fromUtf8(text);
    return QString::fromStdString(result);
}

// The journal's time as a German date and time on this computer's clock; a time that
// does not read as one is shown as it stands.
QString TimeText(const std::string& time) {
    const QDateTime t = QDateTime::fromString(QString::fromStdString(time), Qt::ISODate);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                       : QString::fromStdString(time);
}

}  // namespace

CStandortDlg::CStandortDlg(const CSite& site, QWidget* parent) : QDialog(parent), m_site(site) {
    setWindowTitle(QStringLiteral("Standort"));
    m_pName = Edit(site.m_sName, "name", this);
    m_pDescription = Edit(site.m_sDescription, "beschreibung", this);
    m_pNumber = Edit(site.m_sNumber, "nummer", this);
    m_pCable = new QCheckBox(QStringLiteral("per Kabel"), this);
    m_pCable->setObjectName(QStringLiteral("kabel"));
    m_pCable->setChecked(site.m_eLink == ESiteLink::kCable);
    m_pDevice = Edit(site.m_sDevice, "geraet", this);
    m_pChannels = Edit(ChannelListText(site.m_channels), "kanaele", this);
    m_pWidth = new QComboBox(this);
    m_pWidth->setObjectName(QStringLiteral("breite"));
    m_pWidth->addItems({QString(), QStringLiteral("180"), QStringLiteral("360")});
    m_pWidth->setCurrentIndex(site.m_picture.m_nWidth == 180   ? 1
                              : site.m_picture.m_nWidth == 360 ? 2
                                                               : 0);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)
        ->setObjectName(QStringLiteral("ok"));
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("abbrechen"));
    auto* layout = new QGridLayout(this);
    const std::pair<const char*, QWidget*> rows[] = {
        {"Name", m_pName},
        {"Beschreibung", m_pDescription},
        {"Telefonnummer", m_pNumber},
        {"", m_pCable},
        {"Gerät", m_pDevice},
        {"Kanäle", m_pChannels},
        {"Bildbreite", m_pWidth},
    };
    int row = 0;
    for (const auto& [label, widget] : rows) {
        layout->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        layout->addWidget(widget, row++, 1);
    }
    layout->addWidget(buttons, row, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CStandortDlg::done(int result) {
    if (result != QDialog::Accepted) {
        QDialog::done(result);
        return;
    }
    CSite site = m_site;
    site.m_sName = m_pName->text().trimmed().toStdString();
    site.m_sDescription = m_pDescription->text().trimmed().toStdString();
    site.m_sNumber = m_pNumber->text().trimmed().toStdString();
    site.m_eLink = m_pCable->isChecked()    ? ESiteLink::kCable
                   : site.m_sNumber.empty() ? ESiteLink::kStored
                                            : ESiteLink::kModem;
    site.m_sDevice = m_pDevice->text().trimmed().toStdString();
    if (!site.m_sDevice.empty())
        site.m_iCom = 0;
    const std::string channels = m_pChannels->text().remove(QLatin1Char(' ')).toStdString();
    site.m_channels.clear();
    std::string error;
    if (!channels.empty() && !ParseChannelList(channels, site.m_channels))
        error = "Kanäle 1..8, durch Kommas getrennt";
    site.m_picture.m_nWidth = m_pWidth->currentText().toInt();
    if (error.empty() && !StoreSite(UserSiteBookPath(), site, &error))
        error = "Standort nicht gespeichert: " + error;
    if (!error.empty()) {
        QMessageBox::warning(this, QStringLiteral("Pixlane"), QString::fromStdString(error));
        return;
    }
    m_site = site;
    QDialog::done(result);
}

CStandorteDlg::CStandorteDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Standorte"));
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("liste"));
    m_pList->setRootIsDecorated(false);
    m_pList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Nummer"),
                              QStringLiteral("Kanäle"), QStringLiteral("Letzte Aufnahme"),
                              QStringLiteral("Ergebnis")});
    m_pList->setMinimumWidth(m_pList->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 70);
    QPushButton* add = Button("Hinzufügen ...", "hinzufuegen", this);
    QPushButton* change = Button("Ändern ...", "aendern", this);
    QPushButton* remove = Button("Löschen", "loeschen", this);
    QPushButton* take = Button("Übernehmen", "uebernehmen", this);
    QPushButton* close = Button("Schließen", "schliessen", this);
    auto* side = new QVBoxLayout;
    for (QPushButton* button : {add, change, remove, take})
        side->addWidget(button);
    side->addStretch();
    side->addWidget(close);
    m_pProblems = new QLabel(this);
    m_pProblems->setObjectName(QStringLiteral("probleme"));
    m_pProblems->setTextFormat(Qt::PlainText);
    auto* left = new QVBoxLayout;
    left->addWidget(m_pList);
    left->addWidget(m_pProblems);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(side);
    connect(add, &QPushButton::clicked, this, &CStandorteDlg::OnAdd);
    connect(change, &QPushButton::clicked, this, &CStandorteDlg::OnChange);
    connect(remove, &QPushButton::clicked, this, &CStandorteDlg::OnDelete);
    connect(take, &QPushButton::clicked, this, &CStandorteDlg::OnTake);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &CStandorteDlg::OnTake);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    Fill();
}

void CStandorteDlg::Fill() {
    m_book = ReadSiteBook();
    m_pList->clear();
    for (const CSite& site : m_book.m_sites) {
        const CLastCapture last = LastCapture(site);
        auto* item = new QTreeWidgetItem(
            m_pList,
            {QString::fromStdString(site.m_sName),
             QString::fromStdString(site.m_eLink == ESiteLink::kCable ? "Kabel" : site.m_sNumber),
             QString::fromStdString(ChannelListText(site.m_channels)), TimeText(last.m_sTime),
             ResultText(last.m_sResult)});
        item->setToolTip(0, QString::fromStdString(site.m_sDescription));
    }
    m_pList->header()->resizeSections(QHeaderView::ResizeToContents);
    if (m_pList->topLevelItemCount() > 0)
        m_pList->setCurrentItem(m_pList->topLevelItem(0));
    // What is wrong in the book stands under the list: those entries are not in it.
    QStringList problems;
    for (const std::string& problem : m_book.m_problems)
        problems << QString::fromStdString(problem);
    m_pProblems->setText(problems.join(QLatin1Char('\n')));
    m_pProblems->setVisible(!problems.isEmpty());
}

const CSite* CStandorteDlg::Chosen() const {
    const QTreeWidgetItem* item = m_pList->currentItem();
    return item == nullptr ? nullptr : m_book.Find(item->text(0).toStdString());
}

void CStandorteDlg::OnAdd() {
    CStandortDlg form(CSite{}, this);
    if (form.exec() == QDialog::Accepted)
        Fill();
}

void CStandorteDlg::OnChange() {
    if (const CSite* site = Chosen()) {
        CStandortDlg form(*site, this);
        if (form.exec() == QDialog::Accepted)
            Fill();
    }
}

void CStandorteDlg::OnDelete() {
    const CSite* site = Chosen();
    if (site == nullptr)
        return;
    // The book for every user is the administrator's: the window changes only the user's.
    const std::string user = UserSiteBookPath();
    std::string refusal;
    bool found = false;
    std::string error;
    if (site->m_sFile != user)
        refusal = "Löschen abgelehnt: Standort " + site->m_sName +
                  " steht im Standortbuch für alle Benutzer (" + site->m_sFile +
                  "); dort entfernt ihn der Verwalter mit pixlane-cli sites --system --remove " +
                  site->m_sName;
    else if (!RemoveSite(user, site->m_sName, found, &error))
        refusal = "Standort " + site->m_sName + " nicht gelöscht: " + error;
    else if (!found)
        refusal = "Standort " + site->m_sName + " steht nicht mehr in " + user;
    if (!refusal.empty())
        QMessageBox::warning(this, QStringLiteral("Pixlane"), QString::fromStdString(refusal));
    Fill();
}

void CStandorteDlg::OnTake() {
    if (const CSite* site = Chosen()) {
        m_taken = *site;
        accept();
    }
}
