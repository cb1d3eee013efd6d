#pragma once

// The simulated module (behind its modem when asked) served on a real pseudo-terminal in
// this process, in real time; pixlane-cli runs in process against the device.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRunner.h"
#include "link/ComPort.h"
#include "sim/ModemSim.h"
#include "sim/ModuleSim.h"
#include "sim/PtySimServer.h"

class CliPtyFixture : public ::testing::Test {
  protected:
    // Starts serving; the module or the modem is configured before.
    void Serve(bool withModem) {
        m_module.SetPacing(115200, 0);
        std::string error;
        CSimPeer& peer = withModem ? static_cast<CSimPeer&>(m_modem) : m_module;
        ASSERT_TRUE(m_server.Start(peer, m_sDevice, &error)) << error;
    }
    void SetUp() override { RemoveSettings(); }
    void TearDown() override {
        m_server.Stop();
        // The command line never writes the user's settings, nor creates them.
        EXPECT_EQ(FileBytes(SettingsPath()), m_before);
        RemoveSettings();
    }
    CCliResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", m_sDevice});
        return RunCliWith(args);
    }
    template <class F>
    void WithModule(F&& f) {
        m_server.WithPeer(f);
    }

    CModuleSim m_module;
    CModemSim m_modem{m_module};
    CPtySimServer m_server;
    std::string m_sDevice;
    std::optional<std::string> m_before;
};
