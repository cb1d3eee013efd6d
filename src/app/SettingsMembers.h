#pragma once

#include <string>

// The members of the settings dialog, in their declared order: what the settings
// exchange copies in before the dialog runs and back after it closed.
struct CEinstellungMembers {
    int m_bkompri = 0;
    std::string m_sBaudrate;
    std::string m_sCom;
    int m_iBildbreite = 0;
    int m_iBildhoehe = 0;
    int m_iMonochrom = 0;
    int m_bZeilenweise = 0;
    int m_bFrei = 0;
    int m_iLokal = 0;
    int m_bExpert = 0;
    std::string m_sOffset;
    std::string m_sBanzahl;
    std::string m_sModus;
    std::string m_sBgroesse;
    std::string m_sTel_nr;
    std::string m_sKanal;
    int m_bRing = 0;
    int m_bHandshake = 0;
    int m_bTimer = 0;
    int m_iTimerTime = 0;
    std::string m_sKanalAlt;
};

// What the auto-save dialog edits.
struct CAutoSaveMembers {
    bool m_bOn = false;
    std::string m_sFolder;
    std::string m_sPattern;
    std::string m_sKeep;     // as capture's --keep takes it; empty: kept for ever
    std::string m_sMinFree;  // as capture's --min-free takes it; empty: no limit
    // The capture timer's window, as capture's --between and --daylight take it; empty:
    // none (at most one of them is set).
    std::string m_sBetween;
    std::string m_sDaylight;
};
