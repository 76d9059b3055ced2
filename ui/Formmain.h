#pragma once

#include <QMainWindow>

// The main window. Its controls arrive with the file list.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(QWidget* parent = nullptr);
};
