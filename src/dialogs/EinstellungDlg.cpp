#include "dialogs/EinstellungDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QVBoxLayout>
#include <utility>

#include "app/PixlaneApp.h"
#include "dialogs/EinstellungControls.h"
#include "link/ComPort.h"
#include "link/NetAddress.h"
#include "link/PortList.h"
#include "link/PrintableText.h"
#include "link/QtSerialLine.h"
#include "protocol/Hex.h"

namespace {

constexpr int kTimerMin = 1;
constexpr int kTimerMax = 600000;
constexpr int kOffsetChars = 5;
constexpr int kBgroesseChars = 3;
constexpr int kModusChars = 1;
constexpr int kKanalChars = 2;
constexpr int kReadChars = 4;         // the size and block-count edits are read this far
constexpr int kComDeviceWidth = 200;  // pixels for the device beside the COM list

struct CPresetTexts {
    int m_nWidth;
    const char* m_sBreite;
    const char* m_sHoehe;
    const char* m_sBgroesse;
    const char* m_sBanzahl;
};

constexpr CPresetTexts kPresetTexts[CEinstellungDlg::kPresets] = {
    {180, "180", "144", "B4", "90"},  {256, "256", "200", "FF", "C9"},
    {360, "360", "288", "FF", "120"}, {512, "512", "512", "FF", "405"},
    {768, "768", "576", "FF", "6C7"},
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

int LeadingValue(const QString& text) {
    return LeadingInt(text.toStdString());
}

// An auto-exclusive radio button refuses to be unchecked while it is the checked one of
// its group; the dialog needs groups without any mark.
void SetRadio(QRadioButton* button, bool checked) {
    if (button->isChecked() == checked)
        return;
    if (checked) {
        button->setChecked(true);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

// Selects the first entry that begins with the text (letter case ignored); no such
// entry leaves the selection as it is.
void SelectByPrefix(QComboBox* box, const QString& text) {
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            box->setCurrentIndex(i);
            return;
        }
    }
}

QString TooLongMessage(int maxChars) {
    return QStringLiteral("Bitte nicht mehr als %1 Zeichen eingeben.").arg(maxChars);
}

// The block-count edit holds hexadecimal text: a hex text is written in upper case
// without leading zeros, anything else is left for the module to refuse.
QString NormalisedBlockCount(const QString& text) {
    if (text.isEmpty())
        return text;
    const int value = HexToInt(text.toStdString());
    if (value < 0)
        return text;
    return Q(IntToHex(static_cast<uint32_t>(value)));
}

// One pass of the data exchange. Each step moves one member to its control or back;
// a failing step records the control and the message and ends the pass.
class CExchange {
  public:
    explicit CExchange(bool save) : m_bSave(save) {}

    bool Check(QCheckBox* box, int& value) {
        if (m_bSave)
            value = box->isChecked() ? 1 : 0;
        else
            box->setChecked(value != 0);
        return true;
    }

    // keepUnselected: a list without a selection leaves the member as it is, instead of
    // giving the empty text.
    bool Combo(QComboBox* box, std::string& value, int maxChars = -1, bool keepUnselected = false) {
        if (!m_bSave) {
            SelectByPrefix(box, Q(value));
            return true;
        }
        if (keepUnselected && box->currentIndex() < 0)
            return true;
        const QString text = box->currentIndex() < 0 ? QString() : box->currentText();
        if (maxChars >= 0 && text.size() > maxChars)
            return Fail(box, TooLongMessage(maxChars));
        value = text.toStdString();
        return true;
    }

    bool Text(QLineEdit* edit, std::string& value, int maxChars = -1) {
        if (!m_bSave) {
            edit->setText(Q(value));
            return true;
        }
        const QString text = edit->text();
        if (maxChars >= 0 && text.size() > maxChars)
            return Fail(edit, TooLongMessage(maxChars));
        value = text.toStdString();
        return true;
    }

    bool Int(QLineEdit* edit, int& value) {
        if (!m_bSave) {
            edit->setText(QString::number(value));
            return true;
        }
        static const QRegularExpression integer(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
        bool ok = integer.match(edit->text()).hasMatch();
        const int parsed = ok ? edit->text().trimmed().toInt(&ok) : 0;
        if (!ok)
            return Fail(edit, QStringLiteral("Bitte eine ganze Zahl eingeben."));
        value = parsed;
        return true;
    }

    bool IntInRange(QLineEdit* edit, int& value, int lo, int hi) {
        if (!m_bSave)
            return Int(edit, value);
        int parsed = 0;
        CExchange quiet(true);
        if (!quiet.Int(edit, parsed) || parsed < lo || parsed > hi)
            return Fail(edit, QStringLiteral("Bitte eine ganze Zahl zwischen %1 und %2 eingeben.")
                                  .arg(lo)
                                  .arg(hi));
        value = parsed;
        return true;
    }

    // The index of the checked button: 0 first, 1 second, -1 none.
    bool Radio(QRadioButton* first, QRadioButton* second, int& value) {
        if (m_bSave) {
            value = first->isChecked() ? 0 : second->isChecked() ? 1 : -1;
        } else {
            SetRadio(first, value == 0);
            SetRadio(second, value == 1);
        }
        return true;
    }

    QWidget* m_pFailed = nullptr;
    QString m_sMessage;

  private:
    bool Fail(QWidget* control, const QString& message) {
        m_pFailed = control;
        m_sMessage = message;
        return false;
    }
    bool m_bSave;
};

QLineEdit* MakeLimitedEdit(QWidget* parent, const char* name, const QString& pattern) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    return edit;
}

}  // namespace

CEinstellungDlg::CEinstellungDlg(CPixlaneApp& app, std::function<void(int)> toggleTimer,
                                 QWidget* parent)
    : QDialog(parent), m_app(app), m_toggleTimer(std::move(toggleTimer)) {
    setWindowTitle(QStringLiteral("Einstellung"));
    BuildControls();
    WireHandlers();
}

CEinstellungDlg::~CEinstellungDlg() = default;

void CEinstellungDlg::BuildControls() {
    auto combo = [](QWidget* parent, const char* name, const QStringList& entries) {
        auto* box = new CCloseUpComboBox(parent);
        box->setObjectName(QString::fromLatin1(name));
        box->addItems(entries);
        box->setCurrentIndex(-1);
        return box;
    };
    auto check = [](QWidget* parent, const char* name, const QString& text) {
        auto* box = new QCheckBox(text, parent);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    auto radio = [](QWidget* parent, const char* name, const QString& text) {
        auto* button = new QRadioButton(text, parent);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    auto label = [](QWidget* parent, const QString& text) { return new QLabel(text, parent); };

    // "Schnittstelle "
    auto* port = new QGroupBox(QStringLiteral("Schnittstelle "), this);
    m_pCom = combo(port, "com", {"1", "2", "3", "4", "5", "6", "7", "8"});
    m_pBaud =
        combo(port, "baud",
              {"921600", "460800", "230400", "115200", "57600", "38400", "33600", "19200", "9600"});
    auto* portLayout = new QGridLayout(port);
    portLayout->addWidget(label(port, QStringLiteral("COM:")), 0, 0);
    portLayout->addWidget(m_pCom, 0, 1);
    // What the chosen number stands for on this system.
    m_pComDevice = new QLabel(port);
    m_pComDevice->setObjectName(QStringLiteral("comDevice"));
    m_pComDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portLayout->addWidget(m_pComDevice, 0, 2);
    portLayout->addWidget(label(port, QStringLiteral("Baudrate:")), 1, 0);
    portLayout->addWidget(m_pBaud, 1, 1);

    // "Kanal / Bildgröße "
    auto* size = new QGroupBox(QStringLiteral("Kanal / Bildgröße "), this);
    m_pKanal = combo(size, "kanal", {"1", "2", "3", "4", "5", "6", "7", "8"});
    m_pPreset[k180x144] = radio(size, "preset180", QStringLiteral("180 x 144"));
    m_pPreset[k256x200] = radio(size, "preset256", QStringLiteral("256 x 200"));
    m_pPreset[k360x288] = radio(size, "preset360", QStringLiteral("360 x 288"));
    m_pPreset[k512x512] = radio(size, "preset512", QStringLiteral("512 x 512"));
    m_pPreset[k768x576] = radio(size, "preset768", QStringLiteral("768 x 576"));
    m_pFrei = check(size, "frei", QStringLiteral("frei definiert"));
    auto* breite = new CFocusLineEdit(size);
    breite->setObjectName(QStringLiteral("breite"));
    auto* hoehe = new CFocusLineEdit(size);
    hoehe->setObjectName(QStringLiteral("hoehe"));
    for (QLineEdit* edit : {static_cast<QLineEdit*>(breite), static_cast<QLineEdit*>(hoehe)})
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    m_pBreite = breite;
    m_pHoehe = hoehe;
    m_pZeilenweise = check(size, "zeilenweise", QStringLiteral("Bild zeilenweise ausgeben !"));
    auto* sizeLayout = new QGridLayout(size);
    sizeLayout->addWidget(label(size, QStringLiteral("Kanal / Kamera ")), 0, 0);
    sizeLayout->addWidget(m_pKanal, 0, 1);
    for (int i = 0; i < kPresets; ++i)
        sizeLayout->addWidget(m_pPreset[i], 1 + i / 2, i % 2);
    sizeLayout->addWidget(m_pFrei, 4, 0);
    auto* wh = new QHBoxLayout;
    wh->addWidget(label(size, QStringLiteral("Breite")));
    wh->addWidget(m_pBreite);
    wh->addWidget(label(size, QStringLiteral("x Höhe")));
    wh->addWidget(m_pHoehe);
    sizeLayout->addLayout(wh, 5, 0, 1, 2);
    sizeLayout->addWidget(m_pZeilenweise, 6, 0, 1, 2);

    // "Farbmodus "
    auto* colour = new QGroupBox(QStringLiteral("Farbmodus "), this);
    m_pMonochrom = radio(colour, "monochrom", QStringLiteral("monochrom"));
    m_pColor = radio(colour, "color", QStringLiteral("color"));
    auto* colourLayout = new QVBoxLayout(colour);
    colourLayout->addWidget(m_pMonochrom);
    colourLayout->addWidget(m_pColor);

    // "Verbinden "
    auto* link = new QGroupBox(QStringLiteral("Verbinden "), this);
    m_pLokal = radio(link, "lokal", QStringLiteral("Lokal"));
    m_pModem = radio(link, "modem", QStringLiteral("Modem"));
    m_pTelNr = new QLineEdit(link);
    m_pTelNr->setObjectName(QStringLiteral("telnr"));
    m_pHandshake = check(link, "handshake", QStringLiteral("Handshake ein/aus"));
    auto* linkLayout = new QGridLayout(link);
    linkLayout->addWidget(m_pLokal, 0, 0);
    linkLayout->addWidget(m_pModem, 0, 1);
    linkLayout->addWidget(label(link, QStringLiteral("Telefonnummer : ")), 1, 0);
    linkLayout->addWidget(m_pTelNr, 1, 1);
    linkLayout->addWidget(m_pHandshake, 2, 0, 1, 2);

    // "Expertenmodus " with "Timer" in its lower part
    auto* expert = new QGroupBox(QStringLiteral("Expertenmodus "), this);
    m_pExpert = check(expert, "expert", QStringLiteral("an/aus"));
    m_pRing = check(expert, "ring", QStringLiteral("RING senden"));
    m_pKompri = check(expert, "kompri", QStringLiteral("Bild komprimieren"));
    // The typing limits; a longer text put in from the members is caught by the exchange.
    m_pOffset = MakeLimitedEdit(expert, "offset", QStringLiteral(".{0,%1}").arg(kOffsetChars));
    m_pBgroesse =
        MakeLimitedEdit(expert, "bgroesse", QStringLiteral(".{0,%1}").arg(kBgroesseChars));
    m_pBanzahl = new QLineEdit(expert);
    m_pBanzahl->setObjectName(QStringLiteral("banzahl"));
    m_pModus = combo(expert, "modus", {"1", "2", "3", "4"});
    auto* timer = new QGroupBox(QStringLiteral("Timer"), expert);
    m_pTimer = check(timer, "timer", QStringLiteral("ein/aus"));
    m_pIntervall = new QLineEdit(timer);
    m_pIntervall->setObjectName(QStringLiteral("intervall"));
    auto* timerLayout = new QGridLayout(timer);
    timerLayout->addWidget(m_pTimer, 0, 0, 1, 2);
    timerLayout->addWidget(label(timer, QStringLiteral("Intervall [min]")), 1, 0);
    timerLayout->addWidget(m_pIntervall, 1, 1);
    auto* expertLayout = new QGridLayout(expert);
    expertLayout->addWidget(m_pExpert, 0, 0);
    expertLayout->addWidget(m_pRing, 0, 1);
    expertLayout->addWidget(m_pKompri, 1, 1);
    expertLayout->addWidget(label(expert, QStringLiteral("Offset (hex)")), 2, 0);
    expertLayout->addWidget(m_pOffset, 2, 1);
    expertLayout->addWidget(label(expert, QStringLiteral("Blockgröße (hex)")), 3, 0);
    expertLayout->addWidget(m_pBgroesse, 3, 1);
    expertLayout->addWidget(label(expert, QStringLiteral("Blockanzahl")), 4, 0);
    expertLayout->addWidget(m_pBanzahl, 4, 1);
    expertLayout->addWidget(label(expert, QStringLiteral("Modus")), 5, 0);
    expertLayout->addWidget(m_pModus, 5, 1);
    expertLayout->addWidget(timer, 6, 0, 1, 2);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QStringLiteral("ok"));
    m_pOk->setDefault(true);
    // Only Escape or the close box cancel the dialog.
    m_pAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_pAbbrechen->setObjectName(QStringLiteral("abbrechen"));
    m_pAbbrechen->setVisible(false);

    auto* left = new QVBoxLayout;
    left->addWidget(port);
    left->addWidget(size);
    left->addWidget(colour);
    auto* right = new QVBoxLayout;
    right->addWidget(link);
    right->addWidget(expert);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pAbbrechen);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addLayout(buttons);

    // Controls that start disabled.
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_pPreset[k256x200], m_pPreset[k512x512], m_pPreset[k768x576], m_pBreite, m_pHoehe,
             m_pZeilenweise, m_pRing, m_pKompri, m_pIntervall})
        w->setEnabled(false);
}

void CEinstellungDlg::ShowComDevice() {
    const int n = LeadingValue(m_pCom->currentText());
    if (m_pCom->currentIndex() < 0 || n < 1 || n > 9) {
        m_pComDevice->clear();
        m_pComDevice->setToolTip(QString());
        return;
    }
    const std::string device = m_app.LineAddress(n).DeviceName();
    // A device server's port is named as it is; it is not tried from here.
    const QString text =
        Q(PrintableText(device)) + (IsNetAddressText(device)  ? QStringLiteral(" (Netzwerk)")
                                    : IsDevicePresent(device) ? QStringLiteral(" (vorhanden)")
                                                              : QStringLiteral(" (fehlt)"));
    // Lasting device names are long: the label shows both ends, the tip all of it.
    m_pComDevice->setText(
        m_pComDevice->fontMetrics().elidedText(text, Qt::ElideMiddle, kComDeviceWidth));
    m_pComDevice->setToolTip(text);
}

void CEinstellungDlg::WireHandlers() {
    connect(m_pCom, &QComboBox::currentIndexChanged, this, &CEinstellungDlg::ShowComDevice);
    connect(m_pMonochrom, &QRadioButton::clicked, this, &CEinstellungDlg::OnMonochrom);
    connect(m_pColor, &QRadioButton::clicked, this, &CEinstellungDlg::OnColor);
    connect(m_pPreset[k180x144], &QRadioButton::clicked, this, &CEinstellungDlg::On180x144);
    connect(m_pPreset[k360x288], &QRadioButton::clicked, this, &CEinstellungDlg::On360x288);
    connect(m_pFrei, &QCheckBox::clicked, this, &CEinstellungDlg::OnFrei);
    connect(m_pExpert, &QCheckBox::clicked, this, &CEinstellungDlg::OnExpert);
    connect(m_pLokal, &QRadioButton::clicked, this, &CEinstellungDlg::OnLokal);
    connect(m_pModem, &QRadioButton::clicked, this, &CEinstellungDlg::OnModem);
    connect(m_pHandshake, &QCheckBox::clicked, this, &CEinstellungDlg::OnHandshake);
    connect(m_pTimer, &QCheckBox::clicked, this, &CEinstellungDlg::OnTimer);
    connect(m_pBreite, &CFocusLineEdit::FocusLost, this, &CEinstellungDlg::OnBreiteFocusLost);
    connect(m_pHoehe, &CFocusLineEdit::FocusLost, this, &CEinstellungDlg::OnHoeheFocusLost);
    // Queued: the popup hides before the list takes over an entry chosen with the mouse.
    connect(m_pKanal, &CCloseUpComboBox::ListClosed, this, &CEinstellungDlg::OnKanalClosed,
            Qt::QueuedConnection);
    connect(m_pModus, &CCloseUpComboBox::ListClosed, this, &CEinstellungDlg::OnModusClosed,
            Qt::QueuedConnection);
    connect(m_pCom, &CCloseUpComboBox::ListClosed, this, &CEinstellungDlg::OnComClosed,
            Qt::QueuedConnection);
    connect(m_pBaud, &CCloseUpComboBox::ListClosed, this, &CEinstellungDlg::OnBaudrateClosed,
            Qt::QueuedConnection);
    connect(m_pOk, &QPushButton::clicked, this, &CEinstellungDlg::OnOK);
    connect(m_pAbbrechen, &QPushButton::clicked, this, &CEinstellungDlg::reject);
}

bool CEinstellungDlg::DoDataExchange(bool save) {
    CExchange dx(save);
    // A stored rate the baud list does not offer stays the rate while nothing is chosen:
    // the line is never asked for 0 baud.
    const bool ok =
        dx.Check(m_pKompri, m_bkompri) && dx.Combo(m_pBaud, m_sBaudrate, -1, true) &&
        dx.Combo(m_pCom, m_sCom) && dx.Int(m_pBreite, m_iBildbreite) &&
        dx.Int(m_pHoehe, m_iBildhoehe) && dx.Radio(m_pMonochrom, m_pColor, m_iMonochrom) &&
        dx.Check(m_pZeilenweise, m_bZeilenweise) && dx.Check(m_pFrei, m_bFrei) &&
        dx.Check(m_pExpert, m_bExpert) && dx.Text(m_pOffset, m_sOffset, kOffsetChars) &&
        dx.Text(m_pBanzahl, m_sBanzahl) && dx.Combo(m_pModus, m_sModus, kModusChars) &&
        dx.Text(m_pBgroesse, m_sBgroesse, kBgroesseChars) && dx.Text(m_pTelNr, m_sTel_nr) &&
        dx.Combo(m_pKanal, m_sKanal, kKanalChars) && dx.Check(m_pRing, m_bRing) &&
        dx.Check(m_pHandshake, m_bHandshake) && dx.Check(m_pTimer, m_bTimer) &&
        dx.IntInRange(m_pIntervall, m_iTimerTime, kTimerMin, kTimerMax);
    if (ok)
        return true;
    ShowWarning(dx.m_sMessage);
    // A disabled control could never be corrected, and OK would fail for good: the
    // control that failed is made editable.
    dx.m_pFailed->setEnabled(true);
    dx.m_pFailed->setFocus();
    return false;
}

void CEinstellungDlg::showEvent(QShowEvent* event) {
    m_bClosing = false;
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CEinstellungDlg::done(int result) {
    // Hiding moves the focus out of the edits: their handlers must not run any more.
    m_bClosing = true;
    QDialog::done(result);
}

bool CEinstellungDlg::OnInitDialog() {
    DoDataExchange(false);

    for (int i = 0; i < kPresets; ++i) {
        if (kPresetTexts[i].m_nWidth == m_iBildbreite) {
            ApplyPreset(static_cast<EPreset>(i));
            break;
        }
    }

    if (m_iMonochrom == 0)
        OnMonochrom();
    else if (m_iMonochrom == 1)
        OnColor();

    if (m_bFrei == 0) {
        m_pBreite->setEnabled(false);
        m_pHoehe->setEnabled(false);
        SetSizeRadios(false);
        m_pPreset[k180x144]->setEnabled(true);
        m_pPreset[k360x288]->setEnabled(true);
    } else {
        m_pBreite->setEnabled(true);
        m_pHoehe->setEnabled(true);
        SetSizeRadios(false);
        m_bFrei = 1;
    }

    if (m_bExpert == 1) {
        EnableExpertEdits(true);
        UncheckSizeRadios();
        SetSizeRadios(false);
        m_pFrei->setEnabled(false);
        m_pBreite->setEnabled(false);
        m_pHoehe->setEnabled(false);
        // In expert mode the stored transfer values are shown, not the preset's.
        m_pOffset->setText(Q(m_sOffset));
        m_pBgroesse->setText(Q(m_sBgroesse));
        m_pBanzahl->setText(Q(m_sBanzahl));
    } else {
        EnableExpertEdits(false);
        SetSizeRadios(false);
        m_pPreset[k180x144]->setEnabled(true);
        m_pPreset[k360x288]->setEnabled(true);
        m_pFrei->setEnabled(false);
    }

    // The link as stored is shown; m_iLokal keeps its value, whatever it is.
    const bool lokal = m_iLokal == 1;
    m_pTelNr->setEnabled(!lokal);
    SetRadio(m_pLokal, lokal);
    SetRadio(m_pModem, !lokal);

    m_pIntervall->setEnabled(m_bTimer != 0);

    // The link and the timer are not set here for now.
    m_pExpert->setEnabled(false);
    m_pTelNr->setEnabled(false);
    m_pModem->setEnabled(false);
    SetRadio(m_pModem, false);
    SetRadio(m_pLokal, true);
    m_pHandshake->setChecked(false);
    m_pHandshake->setEnabled(false);
    m_pTimer->setChecked(false);
    m_pTimer->setEnabled(false);
    m_pIntervall->setEnabled(false);
    m_bTimer = 0;

    m_sKanalAlt = m_sKanal;
    return true;
}

void CEinstellungDlg::OnOK() {
    const QString breite = m_pBreite->text().left(kReadChars);
    const QString banzahl = m_pBanzahl->text().left(kReadChars);
    m_sBanzahl = banzahl.toStdString();
    m_pBreite->setText(QString::number(LeadingValue(breite)));
    m_pBanzahl->setText(NormalisedBlockCount(banzahl));
    if (!DoDataExchange(true))
        return;
    accept();
}

void CEinstellungDlg::ApplyPreset(EPreset preset) {
    for (int i = 0; i < kPresets; ++i)
        SetRadio(m_pPreset[i], i == preset);
    const CPresetTexts& t = kPresetTexts[preset];
    m_pBreite->setText(QString::fromLatin1(t.m_sBreite));
    m_pHoehe->setText(QString::fromLatin1(t.m_sHoehe));
    m_pOffset->setText(QStringLiteral("00000"));
    m_pBgroesse->setText(QString::fromLatin1(t.m_sBgroesse));
    m_pBanzahl->setText(QString::fromLatin1(t.m_sBanzahl));
    if (preset == k360x288) {
        m_app.m_iBildbreite = 360;
        m_app.m_iBildhoehe = 288;
    }
}

void CEinstellungDlg::SetSizeRadios(bool enabled) {
    for (QRadioButton* b : m_pPreset)
        b->setEnabled(enabled);
}

void CEinstellungDlg::UncheckSizeRadios() {
    for (QRadioButton* b : m_pPreset)
        SetRadio(b, false);
}

void CEinstellungDlg::EnableExpertEdits(bool enabled) {
    m_pOffset->setEnabled(enabled);
    m_pBgroesse->setEnabled(enabled);
    m_pBanzahl->setEnabled(enabled);
    m_pModus->setEnabled(enabled);
}

void CEinstellungDlg::UpdateBlockCount() {
    const QString breite = m_pBreite->text().left(kReadChars);
    const QString hoehe = m_pHoehe->text().left(kReadChars);
    // At most four digits each: the product stays far inside 32 bits.
    const int count = LeadingValue(breite) * LeadingValue(hoehe) / 255 + 1;
    m_pBreite->setText(breite);
    m_pBgroesse->setText(QStringLiteral("FF"));
    m_pBanzahl->setText(Q(IntToHex(static_cast<uint32_t>(count))));
}

void CEinstellungDlg::SendPresetParameters(int width) {
    if (!m_app.m_bPortOpen || m_app.m_iLokal != 1)
        return;
    if (!CComPort(m_app.Line()).SetParametersForWidth(width))
        ShowWarning(QStringLiteral("FehlerP"));
}

void CEinstellungDlg::ShowWarning(const QString& text) {
    QMessageBox::warning(this, QStringLiteral("Pixlane"), text);
}

void CEinstellungDlg::OnMonochrom() {
    SetRadio(m_pMonochrom, true);
    SetRadio(m_pColor, false);
    m_iMonochrom = 0;
    m_pModus->setCurrentIndex(2);
}

void CEinstellungDlg::OnColor() {
    SetRadio(m_pColor, true);
    SetRadio(m_pMonochrom, false);
    m_iMonochrom = 1;
    m_pModus->setCurrentIndex(3);
}

void CEinstellungDlg::On180x144() {
    ApplyPreset(k180x144);
    m_app.m_iBildbreite = 180;
    m_app.m_iBildhoehe = 144;
    SendPresetParameters(180);
}

void CEinstellungDlg::On360x288() {
    ApplyPreset(k360x288);
    m_app.m_iBildbreite = 360;
    m_app.m_iBildhoehe = 288;
    SendPresetParameters(360);
}

void CEinstellungDlg::OnFrei() {
    if (m_bFrei == 1) {
        m_pBreite->setEnabled(false);
        m_pHoehe->setEnabled(false);
        SetSizeRadios(true);
        for (int i = 0; i < kPresets; ++i)
            SetRadio(m_pPreset[i], i == k180x144);
        m_bFrei = 0;
    } else {
        m_pBreite->setEnabled(true);
        m_pHoehe->setEnabled(true);
        UncheckSizeRadios();
        SetSizeRadios(false);
        m_bFrei = 1;
    }
}

void CEinstellungDlg::OnExpert() {
    if (m_bExpert == 0) {
        EnableExpertEdits(true);
        UncheckSizeRadios();
        m_pFrei->setChecked(false);
        SetSizeRadios(false);
        m_pFrei->setEnabled(false);
        m_pBreite->setEnabled(false);
        m_pHoehe->setEnabled(false);
        m_bExpert = 1;
    } else {
        EnableExpertEdits(false);
        m_pBreite->setEnabled(false);
        m_pHoehe->setEnabled(false);
        SetSizeRadios(false);
        m_pPreset[k180x144]->setEnabled(true);
        m_pPreset[k360x288]->setEnabled(true);
        m_pFrei->setEnabled(false);
        SetRadio(m_pPreset[k180x144], true);
        m_bExpert = 0;
    }
}

void CEinstellungDlg::OnLokal() {
    m_pTelNr->setEnabled(false);
    SetRadio(m_pLokal, true);
    SetRadio(m_pModem, false);
    m_iLokal = 1;
}

void CEinstellungDlg::OnModem() {
    m_pTelNr->setEnabled(true);
    SetRadio(m_pModem, true);
    SetRadio(m_pLokal, false);
    m_pHandshake->setChecked(true);
    m_iLokal = 0;
}

void CEinstellungDlg::OnBreiteFocusLost() {
    if (m_bClosing)
        return;
    UpdateBlockCount();
    m_sBanzahl = m_pBanzahl->text().toStdString();
}

void CEinstellungDlg::OnHoeheFocusLost() {
    if (m_bClosing)
        return;
    UpdateBlockCount();
}

void CEinstellungDlg::OnKanalClosed() {
    const bool complete = DoDataExchange(true);
    // The chosen channel, even when the exchange stopped at a control before the list.
    m_sKanal = m_pKanal->currentIndex() < 0 ? std::string() : m_pKanal->currentText().toStdString();
    CComPort port(m_app.Line());
    if (port.SelectChannel(m_sKanal)) {
        m_sKanalAlt = m_sKanal;
        return;
    }
    m_sKanal = m_sKanalAlt;
    if (complete) {
        DoDataExchange(false);
    } else {
        // The members behind the failed control still hold their old values: writing
        // them all back would undo what the user typed there.
        SelectByPrefix(m_pKanal, Q(m_sKanal));
    }
}

void CEinstellungDlg::OnModusClosed() {
    const int modus = LeadingValue(m_pModus->currentText().left(kReadChars));
    m_app.m_iModus = modus;
    if (modus == 1 || modus == 2) {
        SetRadio(m_pMonochrom, true);
        SetRadio(m_pColor, false);
        m_iMonochrom = 0;
    }
}

void CEinstellungDlg::OnComClosed() {
    m_app.ChoosePort(LeadingValue(m_pCom->currentText().left(kReadChars)));
    m_app.OnPortToggle();
    m_app.OnPortToggle();
    // An adapter plugged in meanwhile shows up when the list is opened again.
    ShowComDevice();
}

void CEinstellungDlg::OnHandshake() {
    if (m_bHandshake == 1) {
        m_app.sHandshake = 0;
        m_bHandshake = 0;
    } else {
        m_app.sHandshake = 2;
        m_bHandshake = 1;
    }
}

void CEinstellungDlg::OnBaudrateClosed() {
    m_app.OnPortToggle();
    DoDataExchange(true);
    if (m_sBaudrate != "115200")
        ShowWarning(QStringLiteral("Module firmware works only with 115200 baud !!"));
    m_app.m_iBaudrate = LeadingInt(m_sBaudrate);
    m_app.OnPortToggle();
}

void CEinstellungDlg::OnTimer() {
    if (m_toggleTimer)
        m_toggleTimer(m_iTimerTime);
    m_bTimer = m_bTimer == 0 ? 1 : 0;
    m_pIntervall->setEnabled(m_bTimer == 1);
}
