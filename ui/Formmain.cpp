#include "Formmain.h"

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName("MainForm");
    setWindowTitle("Quennets Sonvert");
    resize(700, 400);
}
