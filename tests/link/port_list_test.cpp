// Lasting device names and whether a device is there, on a folder of links made for the
// test in place of the system's.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "link/PortList.h"

namespace {

TEST(PortListTest, TheLinkThatLeadsToADeviceIsItsLastingName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkdir(QStringLiteral("by-id")));
    const auto path = [&](const char* name) {
        return root.filePath(QLatin1String(name)).toStdString();
    };
    {
        QFile device(root.filePath(QStringLiteral("ttyUSB0")));
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
        QFile other(root.filePath(QStringLiteral("ttyS0")));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    }
    // The system's links are relative; another one points at an adapter that is away, and
    // the user has a link of his own.
    ASSERT_TRUE(QFile::link(
        QStringLiteral("../ttyUSB0"),
        root.filePath(QStringLiteral("by-id/usb-Beispiel_USB_Serial_A1B2C3-if00-port0"))));
    ASSERT_TRUE(QFile::link(
        QStringLiteral("../ttyUSB1"),
        root.filePath(QStringLiteral("by-id/usb-Beispiel_USB_Serial_D4E5F6-if00-port0"))));
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("ttyUSB0")),
                            root.filePath(QStringLiteral("modul"))));
    const std::string byId = path("by-id");
    const std::string lasting = path("by-id/usb-Beispiel_USB_Serial_A1B2C3-if00-port0");

    EXPECT_EQ(StableSerialName(path("ttyUSB0"), byId), lasting);
    EXPECT_EQ(StableSerialName(path("modul"), byId), lasting) << "through the user's link";
    EXPECT_EQ(StableSerialName(lasting, byId), lasting) << "already lasting";
    EXPECT_EQ(StableSerialName(path("ttyS0"), byId), "") << "no link leads there";
    EXPECT_EQ(StableSerialName(path("ttyUSB1"), byId), "") << "not there";
    EXPECT_EQ(StableSerialName(path("ttyUSB0"), path("no-such-folder")), "");

    EXPECT_TRUE(IsDevicePresent(lasting));
    EXPECT_FALSE(IsDevicePresent(path("by-id/usb-Beispiel_USB_Serial_D4E5F6-if00-port0")))
        << "dangling";
    EXPECT_FALSE(IsDevicePresent(path("ttyUSB1")));

    // The driver's latency timer, found through a stable name too; none where it reports none.
    ASSERT_TRUE(root.mkpath(QStringLiteral("usb-serial/ttyUSB0")));
    QFile timer(root.filePath(QStringLiteral("usb-serial/ttyUSB0/latency_timer")));
    ASSERT_TRUE(timer.open(QIODevice::WriteOnly) && timer.write("16\n") == 3);
    timer.close();
    EXPECT_EQ(LatencyTimerMs(lasting, path("usb-serial")), 16);
    EXPECT_EQ(LatencyTimerMs(path("ttyS0"), path("usb-serial")), std::nullopt);
}

}  // namespace
