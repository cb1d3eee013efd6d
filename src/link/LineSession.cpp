#include "link/LineSession.h"

#include "link/LineDispatch.h"

CLineSession::CLineSession()
    : m_pOwnFactory(std::make_unique<CLineDispatch>([this]() -> CClock& { return Clock(); })) {}

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
