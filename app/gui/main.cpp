// SPDX-License-Identifier: GPL-3.0-or-later
#include <exception>

#include "CppWebBrowser.h"
#include "Formabout.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "InstanceGuard.h"
#include "MessageBox.h"
#include "Sonvertapplication.h"
#include "VersionOption.h"

// The command line is not used, except "--version". The exit status is always 0, also for a second
// instance, which ends at once without a word.
int main(int argc, char* argv[]) {
    if (PrintVersionIfAsked(argc, argv, "sonvert")) {
        return 0;
    }
    if (!platform::AcquireInstanceGuard("QuennetSoftWAV2Sonvert")) {
        return 0;
    }
    TCppWebBrowser::PrepareApplication();
    TSonvertApplication application(argc > 0 ? argv[0] : nullptr);
    try {
        TSonvertApplication::RegisterFallbackFonts();
        // Created once each, in this order: the main window's creation handler runs before the
        // other three exist.
        TMainForm mainForm;
        TAboutForm aboutForm(&mainForm);
        TProcessForm processForm(&mainForm);
        TOptionsForm optionsForm(&mainForm);
        mainForm.SetOtherForms({&aboutForm, &processForm, &optionsForm});
        mainForm.show();
        application.exec();
        mainForm.FinishRunningBatch();
    } catch (const std::exception& error) {
        platform::ShowStandardError(error.what());
    } catch (...) {
        platform::ShowStandardError("");
    }
    return 0;
}
