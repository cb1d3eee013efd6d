#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "app/SettingsMembers.h"

class CPixlaneApp;
class CCloseUpComboBox;
class CFocusLineEdit;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

// The settings dialog "Einstellung". Its members (CEinstellungMembers) are exchanged with
// the controls; several controls act on the module link and on the settings while the
// dialog is open: the COM and baud-rate lists reopen the port, the channel list selects
// the camera, the two usable size presets send the picture parameters and the timer
// switch toggles the periodic capture.
class CEinstellungDlg : public QDialog, public CEinstellungMembers {
    Q_OBJECT
  public:
    // toggleTimer switches the periodic capture of the main window, given the interval
    // in minutes.
    CEinstellungDlg(CPixlaneApp& app, std::function<void(int)> toggleTimer,
                    QWidget* parent = nullptr);
    ~CEinstellungDlg() override;

    // Members into the controls (save false), or the controls into the members with
    // validation (save true). A failing control stops the exchange there: its message
    // is shown, it gets the focus and false is returned.
    bool DoDataExchange(bool save);
    bool OnInitDialog();
    void OnOK();

    // The size presets, by their radio buttons.
    enum EPreset { k180x144, k256x200, k360x288, k512x512, k768x576, kPresets };

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void BuildControls();
    void WireHandlers();

    void ApplyPreset(EPreset preset);
    void SetSizeRadios(bool enabled);  // all five
    void UncheckSizeRadios();
    void EnableExpertEdits(bool enabled);
    void UpdateBlockCount();
    // The preset parameter frame, when the port is open on a local link.
    void SendPresetParameters(int width);
    void ShowWarning(const QString& text);
    // The device the chosen port number stands for, and whether it is there.
    void ShowComDevice();

    // Notification handlers.
    void OnMonochrom();
    void OnColor();
    void On180x144();
    void On360x288();
    void OnFrei();
    void OnExpert();
    void OnLokal();
    void OnModem();
    void OnBreiteFocusLost();
    void OnHoeheFocusLost();
    void OnKanalClosed();
    void OnModusClosed();
    void OnComClosed();
    void OnHandshake();
    void OnBaudrateClosed();
    void OnTimer();

    CPixlaneApp& m_app;
    std::function<void(int)> m_toggleTimer;
    bool m_bInitialised = false;
    bool m_bClosing = false;

    CCloseUpComboBox* m_pCom = nullptr;
    QLabel* m_pComDevice = nullptr;
    CCloseUpComboBox* m_pBaud = nullptr;
    CCloseUpComboBox* m_pKanal = nullptr;
    CCloseUpComboBox* m_pModus = nullptr;
    std::array<QRadioButton*, kPresets> m_pPreset{};
    QCheckBox* m_pFrei = nullptr;
    CFocusLineEdit* m_pBreite = nullptr;
    CFocusLineEdit* m_pHoehe = nullptr;
    QCheckBox* m_pZeilenweise = nullptr;
    QRadioButton* m_pMonochrom = nullptr;
    QRadioButton* m_pColor = nullptr;
    QRadioButton* m_pLokal = nullptr;
    QRadioButton* m_pModem = nullptr;
    QLineEdit* m_pTelNr = nullptr;
    QCheckBox* m_pHandshake = nullptr;
    QCheckBox* m_pExpert = nullptr;
    QCheckBox* m_pRing = nullptr;
    QCheckBox* m_pKompri = nullptr;
    QLineEdit* m_pOffset = nullptr;
    QLineEdit* m_pBgroesse = nullptr;
    QLineEdit* m_pBanzahl = nullptr;
    QCheckBox* m_pTimer = nullptr;
    QLineEdit* m_pIntervall = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pAbbrechen = nullptr;
};
