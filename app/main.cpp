#include <QApplication>

#include "CppWebBrowser.h"
#include "Formmain.h"
#include "Formoptions.h"

int main(int argc, char* argv[]) {
    TCppWebBrowser::PrepareApplication();
    QApplication application(argc, argv);
    TMainForm mainForm;
    TOptionsForm optionsForm(&mainForm);
    mainForm.SetOtherForms({nullptr, nullptr, &optionsForm});
    mainForm.show();
    application.exec();
    return 0;
}
