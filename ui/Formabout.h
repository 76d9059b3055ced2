// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <string>

// The About dialog: the program's name and version, the home-page link and the versions of the
// encoder libraries found beside the program, worked out once when the dialog is created.
class TAboutForm : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void FormCreate();
    void Label4Click();

    // The product version a library file carries as text: "4.0.0. 3688"; empty without one.
    static std::string FileProductVersion(const std::string& path);

    QFrame* Bevel1;
    QFrame* Bevel2;
    QLabel* Label1;
    QLabel* Image1;
    QLabel* Label2;
    QLabel* Label11;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QPushButton* ButtonOk;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
