#pragma once

#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "app/PixlaneApp.h"
#include "link/ComPort.h"
#include "sim/ModuleSim.h"
#include "support/FakeLine.h"
#include "support/VirtualClock.h"
#include "ui/MainFrame.h"

// The program as it starts, in virtual time: the simulated module on port 1, the
// settings in a temporary folder, the port open. The main window comes with Frame().
class CWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_app.Line().SetClock(&m_clock);
        m_app.Line().SetLineFactory(&m_factory);
        m_factory.Attach(1, &m_module);
        m_store = std::make_unique<QSettings>(m_dir.filePath("pixlane.ini"), QSettings::IniFormat);
        ASSERT_TRUE(m_app.InitInstance(m_store.get()));
        ASSERT_TRUE(m_app.m_bPortOpen);
    }
    void TearDown() override {
        m_app.ExitInstance();
        m_app.SetUi(nullptr);
        m_frame.reset();
    }
    CMainFrame& Frame() {
        if (!m_frame) {
            m_frame = std::make_unique<CMainFrame>(m_app);
            m_app.SetUi(m_frame.get());
        }
        return *m_frame;
    }

    QTemporaryDir m_dir;
    CVirtualClock m_clock;
    CFakeLineFactory m_factory{m_clock};
    CModuleSim m_module;
    std::unique_ptr<QSettings> m_store;
    CPixlaneApp m_app;
    std::unique_ptr<CMainFrame> m_frame;
};

// Counts the events of the program's own types that reach it.
class CUserEventSink : public QObject {
  public:
    int m_nSeen = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() >= QEvent::User) {
            ++m_nSeen;
            return true;
        }
        return QObject::event(e);
    }
};
