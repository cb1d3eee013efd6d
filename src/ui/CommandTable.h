#pragma once

#include <QKeySequence>
#include <QString>
#include <vector>

// One entry of the menu bar: a command item, a separator-free submenu start or its end.
struct CMenuEntry {
    enum EKind { Popup, Item, EndPopup };
    EKind m_eKind;
    int m_nId;  // 0 for popups
    const char* m_pText;
    const char* m_pPrompt;  // status-bar prompt while the item is highlighted
};

struct CAccelEntry {
    QKeySequence m_key;
    int m_nId;
};

struct CToolEntry {
    int m_nId;  // 0 for a separator
    const char* m_pIcon;
    const char* m_pTip;
};

// The menu bar, top to bottom.
const std::vector<CMenuEntry>& MenuTable();
// The accelerator table: keys bound to commands.
const std::vector<CAccelEntry>& AccelTable();
// The toolbar, left to right.
const std::vector<CToolEntry>& ToolTable();
