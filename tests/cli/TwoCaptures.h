#pragma once

// Two pixlane-cli capture processes on one line, as the program runs them.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <string>

// Captures channels 1 and 2 twice on the line, the second process started while the first
// holds it, pictures and journals in folder: the second finds the line held, says so,
// waits, and takes its pictures once the first has let go; neither loses one.
inline void ExpectTwoCapturesTakeTurns(const std::string& line, const QString& folder) {
    const auto path = [&folder](const QString& name) { return folder + "/" + name; };
    const auto start = [&](QProcess& p, const char* name) {
        p.setProgram(QStringLiteral(PIXLANE_CLI_EXE));
        p.setArguments({"--device", QString::fromStdString(line), "capture", "--channels", "1,2",
                        "-o", path(name) + "-k{channel}.bmp", "--journal", path(name) + ".jsonl"});
        p.start();
        ASSERT_TRUE(p.waitForStarted());
    };
    QProcess first;
    QProcess second;
    start(first, "eins");
    // The first holds the line while it fetches its second picture.
    ASSERT_TRUE(first.waitForReadyRead(30000)) << first.readAllStandardError().toStdString();
    start(second, "zwei");
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    const std::string secondErr = second.readAllStandardError().toStdString();
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << secondErr;
    EXPECT_NE(secondErr.find("Schnittstelle belegt"), std::string::npos) << secondErr;
    for (const char* name : {"eins.jsonl", "zwei.jsonl"}) {
        QFile journal(path(name));
        ASSERT_TRUE(journal.open(QIODevice::ReadOnly)) << name;
        int pictures = 0;
        for (const QByteArray& text : journal.readAll().split('\n')) {
            if (text.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(text).object();
            EXPECT_EQ(o["result"].toString(), "ok") << name;
            pictures += o["event"].toString() == "picture";
        }
        EXPECT_EQ(pictures, 2) << name;
    }
    EXPECT_TRUE(QFile::exists(path("zwei-k2.bmp")));
}
