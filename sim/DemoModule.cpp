#include "sim/DemoModule.h"

CDemoModule::CDemoModule() : m_modem(m_module) {
    m_module.SetPacing(kBaud, 0);
}

bool CDemoModule::Start(bool withModem, std::string* error) {
    if (m_server.IsRunning())
        return true;
    CSimPeer& peer = withModem ? static_cast<CSimPeer&>(m_modem) : static_cast<CSimPeer&>(m_module);
    return m_server.Start(peer, m_sDevice, error);
}
