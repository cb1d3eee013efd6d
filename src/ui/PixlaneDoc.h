#pragma once

#include <QObject>
#include <QString>

// The document: a title for the caption and nothing else. The image lives in the
// application object.
class CPixlaneDoc : public QObject {
    Q_OBJECT
  public:
    explicit CPixlaneDoc(QObject* parent = nullptr) : QObject(parent) {}

    const QString& Title() const { return m_sTitle; }
    void SetTitle(const QString& title) {
        if (title == m_sTitle)
            return;
        m_sTitle = title;
        emit TitleChanged(m_sTitle);
    }

  signals:
    void TitleChanged(const QString& title);

  private:
    QString m_sTitle = QStringLiteral("Unbenannt");
};
