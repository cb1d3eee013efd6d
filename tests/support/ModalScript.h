#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

// Drives the modal dialog that is open: each turn of the event loop runs the next step on
// it, also from inside loops that a step started (the continuous poll); every turn has a
// timer of its own, since a timer does not fire again while its handler runs. Message boxes
// are recorded and closed whenever they come up (with the Escape key when m_bBoxesByEscape;
// a box that Escape did not close is counted and closed with OK). Once the steps are used
// up, whatever is still open is closed, so that a failing test cannot hang.
class CModalScript {
  public:
    using Step = std::function<void(QWidget*)>;
    explicit CModalScript(std::vector<Step> steps) : m_steps(std::move(steps)) { Next(); }
    bool Done() const { return m_nNext == m_steps.size(); }
    QStringList m_texts;
    QStringList m_titles;
    bool m_bBoxesByEscape = false;
    int m_nEscapeRefused = 0;

  private:
    void Next() {
        QTimer::singleShot(0, &m_context, [this] { Poll(); });
    }
    void Poll() {
        Next();
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            m_texts << box->text();
            m_titles << box->windowTitle();
            if (m_bBoxesByEscape) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(box, &press);
                QApplication::sendEvent(box, &release);
                if (!box->isVisible())
                    return;
                ++m_nEscapeRefused;
            }
            box->accept();
        } else if (m_nNext < m_steps.size()) {
            m_steps[m_nNext++](w);
        } else {
            w->close();
        }
    }
    std::vector<Step> m_steps;
    size_t m_nNext = 0;
    QObject m_context;
};
