#include <QApplication>

#include <gtest/gtest.h>
#include <unistd.h>

#include "CppWebBrowser.h"

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display as well.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The engine's sandbox refuses to start for root, as tests on CI machines run.
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    TCppWebBrowser::PrepareApplication();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
