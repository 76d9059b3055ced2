// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formabout.h"

#include <QEvent>
#include <QMouseEvent>
#include <QUrl>

#include "FileVersion.h"
#include "Glyphs.h"
#include "HomePage.h"
#include "Library.h"
#include "ProgramDir.h"
#include "UrlOpener.h"
#include "Wavtomp3.h"
#include "Wavtoogg.h"

namespace {

QLabel* Text(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Version labels grow to the right with their texts; the frame ends before the dialog's edge.
void FitText(QLabel* label, const QString& text) {
    label->setText(text);
    label->resize(316 - label->x(), label->sizeHint().height());
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(337, 224);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 8, 321, 161);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel2 = new QFrame(this);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(8, 180, 321, 2);
    Bevel2->setFrameShape(QFrame::HLine);
    Bevel2->setFrameShadow(QFrame::Sunken);

    Label1 = new QLabel(QStringLiteral("Quennets Sonvert"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // Its own font: a language pack's font leaves the product name alone.
    QFont nameFont(QStringLiteral("Tahoma"));
    nameFont.setPixelSize(13);
    Label1->setFont(nameFont);
    Label1->setStyleSheet(QStringLiteral("color: #800000;"));
    Label1->move(24, 24);
    Label1->adjustSize();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(240, 32, 64, 64);
    Image1->setPixmap(ProgramIcon().pixmap(64, 64));

    Label2 = Text(this, "Label2", QStringLiteral("Version:"), 24, 54);
    Label11 = Text(this, "Label11", QStringLiteral("3.2"), 96, 54);
    Label3 = Text(this, "Label3", QStringLiteral("Home page:"), 24, 73);
    Label4 = Text(this, "Label4", QUrl(QString::fromLatin1(HomePage)).host(), 96, 73);
    QFont linkFont(QStringLiteral("Tahoma"));
    linkFont.setPixelSize(11);
    linkFont.setUnderline(true);
    Label4->setFont(linkFont);
    Label4->setStyleSheet(QStringLiteral("color: #0000ff;"));
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->adjustSize();
    Label4->installEventFilter(this);
    Label5 = Text(this, "Label5", QStringLiteral("MP3 Encoder:"), 24, 104);
    Label6 = Text(this, "Label6", QString(), 101, 104);
    Label7 = Text(this, "Label7", QStringLiteral("WMA Encoder:"), 24, 123);
    Label8 = Text(this, "Label8", QString(), 101, 123);
    Label9 = Text(this, "Label9", QStringLiteral("OGG Encoder:"), 24, 142);
    Label10 = Text(this, "Label10", QString(), 101, 142);

    ButtonOk = new QPushButton(QStringLiteral("OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setGeometry(120, 188, 75, 25);
    ButtonOk->setDefault(true);
    ButtonOk->setFocus();
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TAboutForm::FormCreate() {
    {
        WavToMp3 mp3;
        FitText(Label6, QString::fromStdString(mp3.GetVersion()));
    }
    const std::string wmaLibrary =
        platform::ProgramDir() + platform::PlatformLibraryName("wmaudsdk.dll");
    FitText(Label8, QStringLiteral("Windows Media Audio SDK ") +
                        QString::fromStdString(FileProductVersion(wmaLibrary)));
    {
        WavToOgg ogg;
        FitText(Label10, QString::fromStdString(ogg.GetVersion()));
    }
}

void TAboutForm::Label4Click() {
    platform::OpenUrl(HomePage);
}

std::string TAboutForm::FileProductVersion(const std::string& path) {
    const auto version = platform::ReadProductVersion(path);
    if (!version) {
        return {};
    }
    // The last separator is a full stop and a blank, as the version has always been shown.
    return std::to_string(version->MostSignificant >> 16) + "." +
           std::to_string(version->MostSignificant & 0xFFFF) + "." +
           std::to_string(version->LeastSignificant >> 16) + ". " +
           std::to_string(version->LeastSignificant & 0xFFFF);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label4Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
