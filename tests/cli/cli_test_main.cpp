// Test main of the pixlane-cli tests: one application object for the whole run, as the
// serial port wants one.
#include <gmock/gmock.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
