// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry point with a Qt application object, as the program itself has one.
#ifdef SONVERT_TEST_WIDGETS
#include <QApplication>

#include "WidgetBoxes.h"
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never need a display; discovery runs them without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef SONVERT_TEST_WIDGETS
    QApplication app(argc, argv);
    platform::InstallWidgetBoxes();
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
