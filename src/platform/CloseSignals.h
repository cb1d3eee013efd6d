#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// While an object lives, SIGTERM (a desktop session logging out, a service stopping),
// SIGHUP (the terminal going away) and SIGINT (Ctrl+C) do not end the program where it
// stands: the handler only notes the signal, and as soon as events run the call is made,
// once for any number of signals before it. There is one such object at a time; the
// handlers before it are put back when it goes.
class CCloseSignals : public QObject {
  public:
    explicit CCloseSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~CCloseSignals() override;
    CCloseSignals(const CCloseSignals&) = delete;
    CCloseSignals& operator=(const CCloseSignals&) = delete;

  private:
    void Take();

    std::function<void()> m_fnOnSignal;
    QSocketNotifier* m_pNotifier = nullptr;
};
