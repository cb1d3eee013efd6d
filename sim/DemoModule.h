#pragma once

#include <string>

#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

// The simulated module (optionally behind its modem) served on a pseudo-terminal in real
// time, paced like a 115200-baud line, for trying the program without hardware.
class CDemoModule {
  public:
    static constexpr unsigned kBaud = 115200;

    CDemoModule();
    CDemoModule(const CDemoModule&) = delete;
    CDemoModule& operator=(const CDemoModule&) = delete;
    ~CDemoModule() { Stop(); }

    // What the simulated camera shows; set before Start.
    void SetScene(ESimScene scene) { m_module.SetScene(scene); }
    // Starts serving; the device path is the serial device to open.
    bool Start(bool withModem, std::string* error = nullptr);
    void Stop() { m_server.Stop(); }
    const std::string& DevicePath() const { return m_sDevice; }

  private:
    CModuleSim m_module;
    CModemSim m_modem;
    CPtySimServer m_server;
    std::string m_sDevice;
};
