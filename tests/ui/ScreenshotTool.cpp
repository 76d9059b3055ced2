// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the windows dressed in one language pack, for the documents and for a person to
// look at: the main window with a few files listed, the options dialog (General and MP3 tabs),
// the progress dialog in the middle of a file and the About dialog.
//
//   sonvert_ui_screenshots OUTDIR PACKFILE NAME    writes OUTDIR/main-NAME.png and so on
//
// On a real display (scripts/screenshots.sh runs it under Xvfb) each window is shown on its own
// and its pixels are read back from the screen; on the offscreen platform it is rendered instead.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "Formabout.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "MessageBox.h"
#include "ProgramDir.h"
#include "Sonvertapplication.h"
#include "UiTestSupport.h"

namespace {

bool Save(QWidget* window, const QString& path) {
    window->show();
    window->raise();
    window->activateWindow();
    QTest::qWait(300);
    QPixmap picture;
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        picture = window->grab();
    } else {
        picture = window->screen()->grabWindow(window->winId());
    }
    window->hide();
    // A palette of 256 colours keeps the file small and shows a window's flat colours unchanged.
    const QImage image =
        picture.toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTDIR PACKFILE NAME\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string packFile = argv[2];
    const QString name = QString::fromLocal8Bit(argv[3]);
    TSonvertApplication::RegisterFallbackFonts();
    QDir().mkpath(out);

    uitest::UiTest ui;
    for (const QString& pack : QDir(QStringLiteral(SONVERT_PACK_DIR)).entryList({"*.ini"})) {
        QFile::copy(QStringLiteral(SONVERT_PACK_DIR) + pack,
                    QString::fromStdString(ui.PackDir()) + pack);
    }
    // The encoder libraries beside the program, so the About dialog shows their versions.
    for (const char* library : {"lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
        QFile::link(QStringLiteral(SONVERT_BIN_DIR "/") + library,
                    QString::fromStdString(ui.Dir()) + library);
    }
    ui.WriteSettings("[General]\r\nAd=0\r\nLanguage=" + packFile + "\r\n");
    TAboutForm about(ui.main.get());
    TProcessForm process(ui.main.get());
    ui.main->SetOtherForms({&about, &process, ui.options});
    ui.Start();

    // A folder name a reader takes for what it is, rather than the program folder's.
    const QTemporaryDir samples(QDir::tempPath() + QStringLiteral("/Recordings-XXXXXX"));
    const std::string folder = samples.path().toStdString() + "/";
    std::vector<std::string> files;
    const struct {
        const char* name;
        uint16_t channels;
        uint32_t rate;
        uint32_t seconds;
    } waves[] = {{"Interview part 1.wav", 1, 22050, 1865},
                 {"Concert recording.wav", 2, 44100, 4012},
                 {"Doorbell.wav", 2, 48000, 3},
                 {"Piano practice.wav", 2, 44100, 312}};
    for (const auto& wave : waves) {
        uitest::WriteWave(folder + wave.name, wave.channels, wave.rate, 16,
                          wave.seconds * wave.rate * wave.channels * 2);
        files.push_back(folder + wave.name);
    }
    ui.Add(files);
    ui.ClickRow(1);

    bool saved = Save(ui.main.get(), out + "/main-" + name + ".png");
    // The options dialog as it opens: the settings loaded, the first tab in front.
    ui.options->show();
    QCoreApplication::sendPostedEvents(ui.options, QEvent::MetaCall);
    saved = Save(ui.options, out + "/options-" + name + ".png") && saved;
    ui.options->show();
    ui.options->PageControl1->setCurrentIndex(1);
    saved = Save(ui.options, out + "/options-mp3-" + name + ".png") && saved;

    // A batch as the worker reports it: the second file a little under half done.
    const std::unique_ptr<ConversionReporter> reporter = process.BeginBatch();
    reporter->FileStarted(folder + waves[1].name);
    reporter->Progress(45, 36);
    QCoreApplication::processEvents();
    saved = Save(&process, out + "/progress-" + name + ".png") && saved;
    saved = Save(&about, out + "/about-" + name + ".png") && saved;

    for (const auto& box : ui.Boxes()) {
        std::fprintf(stderr, "box: %s\n", box.text.c_str());
    }
    return saved && ui.Boxes().empty() ? 0 : 1;
}
