#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>

// A drop-down list that reports when its list closes, whether or not the selection
// changed. The report is sent when the popup window hides, which happens before the
// combo box takes over an item chosen with the mouse: connect to ListClosed queued so
// the handler sees the new selection.
class CCloseUpComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit CCloseUpComboBox(QWidget* parent = nullptr) : QComboBox(parent) {
        view()->window()->installEventFilter(this);
    }

  signals:
    void ListClosed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched == view()->window())
            emit ListClosed();
        return QComboBox::eventFilter(watched, event);
    }
};

// A line edit that reports when it loses the keyboard focus.
class CFocusLineEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CFocusLineEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

  signals:
    void FocusLost();

  protected:
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        emit FocusLost();
    }
};
