#include "link/LineSession.h"

#include "link/QtSerialLine.h"

CLineSession::CLineSession() : m_pSerialFactory(std::make_unique<CQtLineFactory>()) {}

// The line closes before the factory that made it goes.
CLineSession::~CLineSession() {
    Close();
}

bool CLineSession::TakeLineLoss() {
    const bool pending = m_bLossPending;
    m_bLossPending = false;
    return pending;
}

bool CLineSession::Close() {
    const bool wasOpen = m_pLine != nullptr;
    m_state.reset();
    m_timeouts.reset();
    m_pLine.reset();
    return wasOpen;
}
