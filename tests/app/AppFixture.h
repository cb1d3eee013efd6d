#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/PixlaneApp.h"
#include "app/RecordingUi.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"

// The application object on port 1 with the simulated module behind it (or whatever peer
// a derived fixture names), in virtual time, showing into a recording user interface.
class CAppFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        m_app.Line().SetClock(&m_clock);
        m_app.Line().SetLineFactory(&m_factory);
        m_factory.Attach(1, Peer());
        m_app.SetUi(&m_ui);
        m_app.BuildYuvTables();
        ASSERT_TRUE(m_app.OpenConfiguredPort());
    }
    virtual CSimPeer* Peer() { return &m_module; }
    // How often the module received this frame.
    int Count(const std::string& frame) const {
        int n = 0;
        for (const std::string& f : m_module.Frames())
            n += f == frame ? 1 : 0;
        return n;
    }

    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CModuleSim m_module;
    CRecordingUi m_ui{&m_clock};
    CPixlaneApp m_app;
};
