// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows cost a user, on real windows (offscreen unless a display is asked for):
// start-up to the main window's first painted show, with and without the banner; adding 1,000
// WAVE files through the Add command and through a drop; Remove of 500 selected rows; Clear.
// Medians of RUNS runs (default 5), with the peak resident memory beside them.
//
//   gui_bench [RUNS]
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BoxRecorder.h"
#include "CppWebBrowser.h"
#include "FileDialogs.h"
#include "Formabout.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "ProgramDir.h"
#include "Sonvertapplication.h"
#include "WaveWriter.h"

namespace {

constexpr int FileCount = 1000;

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::stol(line.substr(prefix.size()));
        }
    }
    return -1;
}

// Peak resident memory of this process since it started or since the last ResetPeak, in KiB.
long PeakKiB() {
    return StatusKiB("VmHWM");
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A program folder of the bench's own: the build's packs, player and encoder libraries, and a
// settings file the bench may write.
class ProgramFolder {
  public:
    explicit ProgramFolder(const std::string& buildDir) {
        for (const char* entry :
             {"SVLanguage", "ruffle", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
            QFile::link(QString::fromStdString(buildDir + entry),
                        QString::fromStdString(dir_.File(entry)));
        }
    }
    std::string Path() const { return dir_.Path() + "/"; }
    void WriteSettings(const std::string& ad) const {
        testing_support::WriteFile(Path() + "Sonvert.ini",
                                   "[General]\r\nAd=" + ad + "\r\nLanguage=English.ini\r\n");
    }

  private:
    testing_support::TempDir dir_;
};

// The four windows as start-up makes them.
struct Windows {
    TMainForm main;
    TAboutForm about{&main};
    TProcessForm process{&main};
    TOptionsForm options{&main};
    Windows() { main.SetOtherForms({&about, &process, &options}); }
};

// Child: start the windows as the program does and report once the main window has painted
// itself after its first activation.
int StartupChild(char** argv) {
    TCppWebBrowser::PrepareApplication();
    TSonvertApplication application(argv[0]);
    TSonvertApplication::RegisterFallbackFonts();
    platform::SetProgramDirForTesting(argv[2]);
    testing_support::BoxRecorder boxes;
    Windows windows;
    struct FirstPaint : QObject {
        TMainForm* main = nullptr;
        bool done = false;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (!done && watched == main && event->type() == QEvent::Paint &&
                !main->StatusBar1->PanelText(0).isEmpty()) {
                done = true;
                // After this paint has been done.
                QTimer::singleShot(0, [] {
                    std::printf("ready %ld\n", PeakKiB());
                    std::fflush(stdout);
                    QCoreApplication::quit();
                });
            }
            return false;
        }
    } firstPaint;
    firstPaint.main = &windows.main;
    windows.main.installEventFilter(&firstPaint);
    windows.main.show();
    application.exec();
    return boxes.Boxes().empty() ? 0 : 3;
}

struct Row {
    std::string name;
    double medianMs;
    long peakKiB;
    std::vector<double> runs;
    double goalMs;
    long growthKiB = 0;  // peak over the resident memory at the start of the measured step
};

Row Startup(const std::string& self, const ProgramFolder& folder, bool banner, int runs) {
    Row row{
        banner ? "start-up, banner on" : "start-up, \"Ad\"=\"0\"", 0, 0, {}, banner ? 0.0 : 150.0};
    folder.WriteSettings(banner ? "1" : "0");
    std::vector<double> peaks;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QString::fromStdString(self),
                    {QStringLiteral("--startup-child"), QString::fromStdString(folder.Path())});
        long peak = -1;
        while (child.waitForReadyRead(30000)) {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("ready ")) {
                row.runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                peak = line.mid(6).toLong();
                break;
            }
        }
        if (peak < 0) {
            std::fprintf(stderr, "gui_bench: the start-up child did not report\n");
            child.kill();
            child.waitForFinished();
            continue;
        }
        peaks.push_back(static_cast<double>(peak));
        child.waitForFinished(30000);
    }
    if (!row.runs.empty()) {
        row.medianMs = Median(row.runs);
        row.peakKiB = static_cast<long>(Median(peaks));
    }
    return row;
}

// Times `action` RUNS times, each after `prepare`, letting the window paint the result.
Row Measure(const std::string& name, double goalMs, int runs, const std::function<void()>& prepare,
            const std::function<void()>& action) {
    Row row{name, 0, 0, {}, goalMs};
    std::vector<double> peaks;
    std::vector<double> growths;
    for (int run = 0; run < runs; ++run) {
        prepare();
        QCoreApplication::processEvents();
        ResetPeak();
        const long before = StatusKiB("VmRSS");
        QElapsedTimer clock;
        clock.start();
        action();
        QCoreApplication::processEvents();
        row.runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        peaks.push_back(static_cast<double>(PeakKiB()));
        growths.push_back(static_cast<double>(PeakKiB() - before));
    }
    row.medianMs = Median(row.runs);
    row.peakKiB = static_cast<long>(Median(peaks));
    row.growthKiB = static_cast<long>(Median(growths));
    return row;
}

std::vector<std::string> WriteWaves(const std::string& dir) {
    std::vector<std::string> paths;
    for (int i = 0; i < FileCount; ++i) {
        testing_support::WaveLayout layout;
        layout.channels = static_cast<uint16_t>(i % 3 == 0 ? 1 : 2);
        layout.sampleRate = i % 2 == 0 ? 44100 : 22050;
        // A tenth of a second each: real files, but 1,000 of them stay small.
        layout.data = std::string(layout.sampleRate / 10 * layout.channels * 2, '\0');
        const std::string path = dir + "/take " + std::to_string(i + 1) + ".wav";
        testing_support::WriteFile(path, testing_support::WaveBytes(layout));
        paths.push_back(path);
    }
    return paths;
}

void Drop(TMainForm& main, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    data.setUrls(urls);
    // As the toolkit delivers a drop: offered to the list, taken by the window.
    QWidget* target = main.ListView1->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(enter.isAccepted() ? static_cast<QWidget*>(&main) : target, &drop);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--startup-child") {
        return StartupChild(argv);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    const std::string self =
        QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    const std::string buildDir = platform::ProgramDir();

    QApplication application(argc, argv);
    TSonvertApplication::RegisterFallbackFonts();
    ProgramFolder folder(buildDir);

    std::vector<Row> rows;
    rows.push_back(Startup(self, folder, false, runs));
    rows.push_back(Startup(self, folder, true, runs));

    folder.WriteSettings("0");
    platform::SetProgramDirForTesting(folder.Path());
    testing_support::BoxRecorder boxes;
    testing_support::TempDir waveDir;
    const std::vector<std::string> waves = WriteWaves(waveDir.Path());
    QStringList chosen;
    for (const std::string& wave : waves) {
        chosen << QString::fromStdString(wave);
    }
    platform::SetOpenFilesDialogForTesting(
        [&chosen](QWidget*, const std::string&) { return std::optional(chosen); });
    {
        Windows windows;
        TMainForm& main = windows.main;
        main.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const auto clear = [&main] { main.ListView1->clear(); };
        const auto filled = [&main, &waves] {
            main.ListView1->clear();
            main.WMDropFiles(waves);
        };
        const auto added = [&main](const char* how) {
            if (main.ListView1->topLevelItemCount() != FileCount) {
                std::fprintf(stderr, "gui_bench: %s listed %d rows, not %d\n", how,
                             main.ListView1->topLevelItemCount(), FileCount);
                return false;
            }
            return true;
        };
        rows.push_back(Measure("add 1,000 files (Add)", 1000, runs, clear,
                               [&main] { main.SpeedButtonAddClick(); }));
        rows.push_back(Measure("add 1,000 files (drop)", 1000, runs, clear,
                               [&main, &waves] { Drop(main, waves); }));
        if (!added("the drop")) {
            return 1;
        }
        rows.push_back(Measure(
            "Remove 500 selected rows", 200, runs,
            [&main, &filled] {
                filled();
                // Every second row: the walk that deletes a row steps past its successor.
                for (int i = 0; i < FileCount; i += 2) {
                    main.ListView1->topLevelItem(i)->setSelected(true);
                }
            },
            [&main] { main.SpeedButtonRemoveClick(); }));
        if (main.ListView1->topLevelItemCount() != FileCount / 2) {
            std::fprintf(stderr, "gui_bench: Remove left %d rows, not %d\n",
                         main.ListView1->topLevelItemCount(), FileCount / 2);
            return 1;
        }
        rows.push_back(Measure("Clear 1,000 rows", 200, runs, filled,
                               [&main] { main.SpeedButtonClearClick(); }));
        if (main.ListView1->topLevelItemCount() != 0) {
            std::fprintf(stderr, "gui_bench: Clear left rows\n");
            return 1;
        }
    }
    platform::SetOpenFilesDialogForTesting({});
    platform::SetProgramDirForTesting("");
    if (!boxes.Boxes().empty()) {
        std::fprintf(stderr, "gui_bench: unexpected message: %s\n",
                     boxes.Boxes().front().text.c_str());
        return 1;
    }

    std::printf("| measure | median ms | runs ms | peak RSS KiB | growth KiB | goal ms |\n");
    std::printf("|---|---|---|---|---|---|\n");
    bool met = true;
    for (const Row& row : rows) {
        std::string list;
        for (double value : row.runs) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%.1f", list.empty() ? "" : " ", value);
            list += text;
        }
        std::printf("| %s | %.1f | %s | %ld | %s | %s |\n", row.name.c_str(), row.medianMs,
                    list.c_str(), row.peakKiB,
                    row.growthKiB > 0 ? std::to_string(row.growthKiB).c_str() : "-",
                    row.goalMs > 0 ? std::to_string(static_cast<int>(row.goalMs)).c_str() : "-");
        if (row.goalMs > 0 && row.medianMs > row.goalMs) {
            met = false;
        }
    }
    return met ? 0 : 1;
}
