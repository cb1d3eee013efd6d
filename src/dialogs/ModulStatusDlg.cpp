#include "dialogs/ModulStatusDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppUi.h"
#include "app/PixlaneApp.h"
#include "link/Clock.h"
#include "link/ComPort.h"

namespace ModuleQuery {

void SetFieldText(QLabel* field, const std::string& text) {
    field->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void Run(CLineSession& line, QLabel* field, std::string (CComPort::*query)()) {
    field->setText(QStringLiteral("Bitte warten ..."));
    // The query blocks the window; show the text before it starts.
    if (field->isVisible())
        field->repaint();
    CComPort port(line);
    SetFieldText(field, (port.*query)());
}

std::pair<std::string, std::string> SplitTimeStamp(const std::string& text) {
    std::string channel = text.substr(0, 2);
    if (text.size() > 7)
        channel += text.substr(7);
    return {channel, text.size() > 2 ? text.substr(2) : std::string()};
}

void ShowTimeStamp(CLineSession& line, bool readOnly, QLabel* channel, QLabel* time) {
    CComPort port(line);
    const auto [channelText, timeText] = SplitTimeStamp(port.GetTimeStamp(readOnly ? "0" : "1"));
    SetFieldText(channel, channelText);
    SetFieldText(time, timeText);
}

bool IsEnterOffButtons(const QDialog& dialog, const QKeyEvent& event) {
    if (event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter)
        return false;
    return qobject_cast<QPushButton*>(dialog.focusWidget()) == nullptr;
}

}  // namespace ModuleQuery

namespace {

QLabel* ValueField(const char* name, QWidget* parent) {
    auto* field = new QLabel(QStringLiteral("??"), parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setMinimumWidth(
        field->fontMetrics().horizontalAdvance(QStringLiteral("Bitte warten ...")));
    return field;
}

// A group box holding one label with its value field; the row's buttons go after them.
QHBoxLayout* ValueRow(QGroupBox* group, const char* label, const char* name, QLabel*& field) {
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QString::fromUtf8(label), group));
    field = ValueField(name, group);
    row->addWidget(field, 1);
    return row;
}

}  // namespace

QGroupBox* ModuleQuery::ReadOptions(const QString& title, QWidget* parent,
                                    QRadioButton*& readOnly) {
    auto* options = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(options);
    readOnly = new QRadioButton(QStringLiteral("nur lesen"), options);
    readOnly->setObjectName(QStringLiteral("nurLesen"));
    auto* readReset = new QRadioButton(QString::fromUtf8("lesen und zurücksetzen"), options);
    readReset->setObjectName(QStringLiteral("lesenUndZuruecksetzen"));
    layout->addWidget(readOnly);
    layout->addWidget(readReset);
    readOnly->setChecked(true);
    return options;
}

CModulStatusDlg::CModulStatusDlg(CPixlaneApp& app, QWidget* parent) : QDialog(parent), m_app(app) {
    setWindowTitle(QStringLiteral("Modulstatus"));
    auto addButton = [this](QBoxLayout* row, const char* text, const char* name,
                            void (CModulStatusDlg::*handler)()) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        button->setObjectName(QString::fromLatin1(name));
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, handler);
    };

    auto* camera = new QGroupBox(QStringLiteral("Kamerastatus "), this);
    QHBoxLayout* row = ValueRow(camera, "Kameras :", "kameras", m_pCameras);
    addButton(row, "Abfragen", "abfragenKamera", &CModulStatusDlg::OnCameraStatus);

    auto* input = new QGroupBox(QStringLiteral("Eingangsstatus "), this);
    row = ValueRow(input, "Eingange :", "eingaenge", m_pInputs);
    addButton(row, "Dauerlauf", "dauerlauf", &CModulStatusDlg::OnContinuousInput);
    addButton(row, "Abfragen", "abfragenEingang", &CModulStatusDlg::OnInputStatus);

    auto* error = new QGroupBox(QStringLiteral("Fehlerstatus "), this);
    row = ValueRow(error, "Fehlercode :", "fehlercode", m_pErrors);
    addButton(row, "Abfragen", "abfragenFehler", &CModulStatusDlg::OnErrorStatus);

    auto* stamp = new QGroupBox(QStringLiteral("Zeitstempel "), this);
    auto* stampLayout = new QGridLayout(stamp);
    stampLayout->addWidget(new QLabel(QStringLiteral("triggernder Kanal : "), stamp), 0, 0);
    m_pChannel = ValueField("kanal", stamp);
    stampLayout->addWidget(m_pChannel, 0, 1);
    stampLayout->addWidget(new QLabel(QStringLiteral("Zeit (sec.) :"), stamp), 1, 0);
    m_pTime = ValueField("zeit", stamp);
    stampLayout->addWidget(m_pTime, 1, 1);
    stampLayout->addWidget(ModuleQuery::ReadOptions(QStringLiteral("Optionen"), stamp, m_pReadOnly),
                           0, 2, 2, 1);
    auto* stampButton = new QVBoxLayout;
    addButton(stampButton, "Abfragen", "abfragenZeit", &CModulStatusDlg::OnTimeStamp);
    stampButton->addStretch(1);
    stampLayout->addLayout(stampButton, 0, 3, 2, 1);

    auto* software = new QGroupBox(QStringLiteral("Modulsoftware "), this);
    ValueRow(software, "Version : ", "version", m_pVersion);

    auto* buttons = new QHBoxLayout;
    addButton(buttons, "Alle abfragen", "alleAbfragen", &CModulStatusDlg::OnQueryAll);
    addButton(buttons, "MODUL RESET", "modulReset", &CModulStatusDlg::OnModuleReset);
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("abbrechen"));
    buttons->addWidget(cancel);

    auto* layout = new QGridLayout(this);
    layout->addWidget(camera, 0, 0);
    layout->addWidget(input, 1, 0);
    layout->addWidget(error, 2, 0);
    layout->addWidget(stamp, 0, 1, 2, 1);
    layout->addWidget(software, 2, 1);
    layout->addLayout(buttons, 3, 0, 1, 2);

    connect(cancel, &QPushButton::clicked, this, &CModulStatusDlg::reject);
}

void CModulStatusDlg::OnCameraStatus() {
    ModuleQuery::Run(m_app.Line(), m_pCameras, &CComPort::GetCameraStatus);
}

void CModulStatusDlg::OnInputStatus() {
    ModuleQuery::Run(m_app.Line(), m_pInputs, &CComPort::GetInputStatus);
}

void CModulStatusDlg::OnErrorStatus() {
    ModuleQuery::Run(m_app.Line(), m_pErrors, &CComPort::GetErrorStatus);
}

void CModulStatusDlg::OnTimeStamp() {
    ModuleQuery::ShowTimeStamp(m_app.Line(), m_pReadOnly->isChecked(), m_pChannel, m_pTime);
}

void CModulStatusDlg::OnQueryAll() {
    OnCameraStatus();
    OnInputStatus();
    OnErrorStatus();
    OnTimeStamp();
    ModuleQuery::Run(m_app.Line(), m_pVersion, &CComPort::GetSoftwareVersion);
}

void CModulStatusDlg::OnModuleReset() {
    const std::string text = CComPort(m_app.Line()).ResetModule();
    QMessageBox::warning(this, QStringLiteral("Pixlane"), QString::fromStdString(text));
    // Whatever the module said, the next fetch connects first.
    m_app.NoteLinkDown();
}

void CModulStatusDlg::OnContinuousInput() {
    ++m_nPolling;
    for (;;) {
        // The events that are waiting run here, buttons of this dialog included; Escape
        // is noted and swallowed, so it ends the poll and not the dialog.
        CAppUi* ui = m_app.Ui();
        const bool bStop = ui == nullptr || ui->PumpEvents();
        if (m_bCloseRequested)
            break;
        m_app.Line().Clock().Sleep(100);
        ModuleQuery::SetFieldText(m_pInputs, CComPort(m_app.Line()).GetInputStatus());
        if (bStop)
            break;
    }
    // A nested poll hands over to the one it runs in.
    if (--m_nPolling > 0)
        return;
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        QDialog::done(m_nCloseResult);
    } else if (m_programClosing && m_programClosing())
        QDialog::done(Rejected);
}

void CModulStatusDlg::done(int result) {
    if (m_nPolling > 0) {
        m_bCloseRequested = true;
        m_nCloseResult = result;
        return;
    }
    QDialog::done(result);
}

void CModulStatusDlg::keyPressEvent(QKeyEvent* event) {
    if (ModuleQuery::IsEnterOffButtons(*this, *event)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
