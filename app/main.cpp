#include <QApplication>

#include "Formmain.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TMainForm mainForm;
    mainForm.show();
    application.exec();
    return 0;
}
