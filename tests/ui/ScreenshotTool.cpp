// Saves pictures of the main window (three files listed) and of each options tab, dressed in one
// language pack, for a person to look at: sonvert_ui_screenshots OUTDIR PACKFILE
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "Formmain.h"
#include "Formoptions.h"
#include "MessageBox.h"
#include "ProgramDir.h"
#include "UiTestSupport.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR PACKFILE\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string packFile = argv[2];
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        for (const char* face : {"tahoma.ttf", "tahomabd.ttf"}) {
            QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/") + face);
        }
    }
    QDir().mkpath(out);

    uitest::UiTest ui;
    for (const QString& pack : QDir(QStringLiteral(SONVERT_PACK_DIR)).entryList({"*.ini"})) {
        QFile::copy(QStringLiteral(SONVERT_PACK_DIR) + pack,
                    QString::fromStdString(ui.PackDir()) + pack);
    }
    ui.WriteSettings("[General]\r\nLanguage=" + packFile + "\r\n");
    ui.Start();
    QDir().mkpath(QString::fromStdString(ui.Dir() + "Music/Recordings"));
    std::vector<std::string> files;
    const struct {
        const char* name;
        uint16_t channels;
        uint32_t rate;
        uint32_t seconds;
    } waves[] = {{"Interview part 1.wav", 1, 22050, 1865},
                 {"Concert recording.wav", 2, 44100, 4012},
                 {"Doorbell.wav", 2, 48000, 3}};
    for (const auto& wave : waves) {
        const std::string path = ui.Dir() + "Music/Recordings/" + wave.name;
        uitest::WriteWave(path, wave.channels, wave.rate, 16,
                          wave.seconds * wave.rate * wave.channels * 2);
        files.push_back(path);
    }
    ui.Add(files);
    ui.ClickRow(1);
    QTest::qWait(100);
    ui.main->grab().save(out + QStringLiteral("/main.png"));

    ui.options->show();
    QTest::qWait(100);
    for (int tab = 0; tab < ui.options->PageControl1->count(); ++tab) {
        ui.options->PageControl1->setCurrentIndex(tab);
        QTest::qWait(50);
        ui.options->grab().save(out + QStringLiteral("/options-tab%1.png").arg(tab + 1));
    }
    ui.options->hide();
    for (const auto& box : ui.Boxes()) {
        std::fprintf(stderr, "box: %s\n", box.text.c_str());
    }
    return 0;
}
