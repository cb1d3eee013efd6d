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
#include <tuple>

#include "fleet/Report.h"

namespace {

// A BMP of 2 × 1 pixels, 24 bits: the headers, then a blue and a green pixel and the row's
// padding.
const QByteArray kTinyBmp = QByteArray::fromHex(
    "424d3e000000000000003600000028000000020000000100000001001800000000000800000000000000"
    "000000000000000000000000ff0000ff00000000");

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ReportBrowser, ShowsEverySiteTheStaleMarkAndLoadsEveryPicture) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    // scripts/setup.sh installs it with the suite's other tools.
    ASSERT_FALSE(chromium.isEmpty())
        << "chromium (Debian package chromium) is missing: scripts/setup.sh installs it";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime now = QDateTime::currentDateTime();
    // nord every 5 minutes until now; süd stopped two hours ago; ost names its pictures by
    // a pattern with characters a URL gives a meaning.
    const std::tuple<QString, QString, std::vector<int>> sites[] = {
        {"nord", "k1.bmp", {10, 5}},
        {"süd", "k1.bmp", {130, 125, 120}},
        {"ost", "k1 12:00:00,+;=?<>#%3A.bmp", {10, 5}}};
    for (const auto& [site, name, minutesAgo] : sites) {
        const QString picture = dir.filePath(site + "/" + name);
        Write(picture, kTinyBmp);
        QByteArray journal;
        for (int m : minutesAgo)
            journal += "{\"time\":\"" + now.addSecs(-60LL * m).toString(Qt::ISODate).toUtf8() +
                       "\",\"event\":\"picture\",\"channel\":1,\"result\":\"ok\",\"file\":\"" +
                       picture.toUtf8() + "\"}\n";
        Write(dir.filePath(site + "/journal.jsonl"), journal);
    }
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
    EXPECT_TRUE(dom.contains("ROW ost aktuell aktuell")) << dom.toStdString();
    EXPECT_EQ(dom.count("IMG ok"), 3) << dom.toStdString();
}

}  // namespace
