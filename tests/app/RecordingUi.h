#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/AppUi.h"
#include "app/Progress.h"
#include "app/SettingsMembers.h"
#include "image/ScreenImage.h"
#include "link/Clock.h"

// Records what the application shows and keeps a screen image to draw into. A loop ends
// at the pump whose number m_nStopAtPump names (1 = the first); m_onPump runs at each.
// Progress is timed on the clock given (0 without one).
class CRecordingUi : public CAppUi {
  public:
    explicit CRecordingUi(CClock* clock = nullptr) : m_pClock(clock) {}
    void SetStatusText(const std::string& text) override { m_status.push_back(text); }
    void MessageBox(const std::string& text) override { m_messages.push_back(text); }
    CScreenImage* ScreenImage(int width, int height) override {
        if (m_screen.m_nWidth != width || m_screen.m_nHeight != height) {
            m_pixels.assign(static_cast<size_t>(width) * height, 0);
            m_screen = {m_pixels.data(), width, height, width};
        }
        return &m_screen;
    }
    void RepaintRows(int, int last) override { m_nLastRepainted = last; }
    void SetImageSize(int height, int width) override {
        m_nViewH = height;
        m_nViewW = width;
    }
    void ResizeForImage(int width, int height) override {
        m_nResizeW = width;
        m_nResizeH = height;
    }
    std::optional<std::string> AskSaveFileName(const std::string&) override { return m_sSaveAs; }
    void ImageChanged() override {}
    void ShowProgress(const CFetchProgress& progress) override {
        m_progress.push_back(progress);
        m_progressAtMs.push_back(Now());
    }
    void EndProgress() override {
        ++m_nProgressEnds;
        m_nProgressEndMs = Now();
    }
    bool PumpEvents() override {
        ++m_nPumps;
        if (m_onPump)
            m_onPump(m_nPumps);
        return m_nPumps >= m_nStopAtPump;
    }
    void StopCaptureTimer() override { ++m_nTimerStops; }
    void RearmCaptureTimer() override { ++m_nTimerRearms; }
    void ShowModuleStatusDialog() override { m_dialogs.push_back("Modulstatus"); }
    void ShowTimeStampDialog() override { m_dialogs.push_back("Zeitstempel"); }
    // Closed with OK.
    bool RunSettingsDialog(CEinstellungMembers& members) override {
        m_settingsIn = members;
        if (m_editSettings)
            m_editSettings(members);
        return true;
    }

    std::vector<std::string> m_status;
    std::vector<std::string> m_messages;
    std::vector<uint32_t> m_pixels;
    CScreenImage m_screen;
    int m_nLastRepainted = -1, m_nViewW = 0, m_nViewH = 0, m_nResizeW = 0, m_nResizeH = 0;
    std::optional<std::string> m_sSaveAs;
    std::vector<CFetchProgress> m_progress;  // and the clock's time of each
    std::vector<uint32_t> m_progressAtMs;
    int m_nProgressEnds = 0;
    uint32_t m_nProgressEndMs = 0;
    int m_nPumps = 0;
    int m_nStopAtPump = 1;
    std::function<void(int pump)> m_onPump;  // what happens meanwhile, by pump number
    int m_nTimerStops = 0;
    int m_nTimerRearms = 0;
    std::vector<std::string> m_dialogs;  // the module dialogs opened, by title
    CEinstellungMembers m_settingsIn;
    std::function<void(CEinstellungMembers&)> m_editSettings;

  private:
    uint32_t Now() const { return m_pClock != nullptr ? m_pClock->GetTickCount() : 0; }
    CClock* m_pClock;
};
