// The status page as a real browser renders it: every site's row, the stale camera's
// mark, and every picture loaded. A probe page of the test's own frames the status page
// and writes what the browser loaded into its text, which the browser dumps.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "app/Report.h"

namespace {

// A BMP of 2 × 1 pixels, 24 bits.
QByteArray TinyBmp() {
    const unsigned char bytes[] = {
        'B', 'M', 62,  0, 0,   0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40,  0,   0,   0, 2,   0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
        8,   0,   0,   0, 0,   0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,  // info header
        0,   0,   255, 0, 255, 0, 0, 0};  // two pixels, padded row
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ReportBrowser, ShowsEverySiteTheStaleMarkAndLoadsEveryPicture) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        GTEST_SKIP() << "chromium (Debian package chromium) is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime now = QDateTime::currentDateTime();
    const auto line = [&](int minutesAgo, int channel, const QString& file) {
        return "{\"time\":\"" + now.addSecs(-60LL * minutesAgo).toString(Qt::ISODate).toUtf8() +
               "\",\"event\":\"picture\",\"channel\":" + QByteArray::number(channel) +
               ",\"result\":\"ok\",\"bytes\":62,\"seconds\":1,\"file\":\"" + file.toUtf8() +
               "\"}\n";
    };
    for (const char* site : {"nord", "süd"})
        Write(dir.filePath(QString::fromUtf8(site) + "/k1.bmp"), TinyBmp());
    // nord every 5 minutes until now; süd stopped two hours ago.
    Write(dir.filePath("nord/journal.jsonl"),
          line(10, 1, dir.filePath("nord/k1.bmp")) + line(5, 1, dir.filePath("nord/k1.bmp")));
    Write(dir.filePath("süd/journal.jsonl"), line(130, 1, dir.filePath("süd/k1.bmp")) +
                                                 line(125, 1, dir.filePath("süd/k1.bmp")) +
                                                 line(120, 1, dir.filePath("süd/k1.bmp")));
    const QString pages = dir.filePath("seite");
    std::vector<std::string> problems;
    ASSERT_TRUE(WriteReport({dir.path().toStdString()}, now, pages.toStdString(), {}, problems));
    Write(pages + "/probe.html",
          "<!DOCTYPE html><html><body><iframe id=\"f\" src=\"index.html\"></iframe><script>"
          "document.getElementById('f').onload=function(){"
          "var d=this.contentDocument,out=[];"
          "for(var r of d.querySelectorAll('tr[data-site]'))"
          "out.push('ROW '+r.dataset.site+' '+r.className+' '+"
          "r.querySelector('td.zustand').textContent);"
          "for(var i of d.images)out.push('IMG '+(i.complete&&i.naturalWidth===2?'ok':'bad'));"
          "var p=document.createElement('pre');p.id='out';p.textContent=out.join('\\n');"
          "document.body.appendChild(p);};</script></body></html>");
    QProcess browser;
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu",
                             "--allow-file-access-from-files", "--virtual-time-budget=10000",
                             "--dump-dom", QUrl::fromLocalFile(pages + "/probe.html").toString()});
    ASSERT_TRUE(browser.waitForFinished(120000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    EXPECT_TRUE(dom.contains("ROW nord aktuell aktuell")) << dom.toStdString();
    EXPECT_TRUE(dom.contains("ROW süd veraltet veraltet")) << dom.toStdString();
    EXPECT_EQ(dom.count("IMG ok"), 2) << dom.toStdString();
    EXPECT_FALSE(dom.contains("IMG bad"));
}

}  // namespace
