// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include <gtest/gtest.h>
#include <unistd.h>

#include "CppWebBrowser.h"
#include "WidgetBoxes.h"

#if defined(__SANITIZE_ADDRESS__)
// Debian's web engine library frees one of its own objects with a mismatched size; that is outside
// this program and would stop every test that closes a page.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif

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
    platform::InstallWidgetBoxes();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
