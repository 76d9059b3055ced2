// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "IniFile.h"
#include "ProgramDir.h"
#include "SettingsLocation.h"

namespace uitest {

void WriteWave(const std::string& path, uint16_t channels, uint32_t sampleRate,
               uint16_t bitsPerSample, uint32_t dataSize) {
    testing_support::WaveLayout layout;
    layout.channels = channels;
    layout.sampleRate = sampleRate;
    layout.bitsPerSample = bitsPerSample;
    layout.data = std::string(std::min<uint32_t>(dataSize, 64), '\0');
    layout.declaredDataSize = dataSize;
    testing_support::WriteFile(path, testing_support::WaveBytes(layout));
}

std::string IniText(const IniSections& sections) {
    std::string text;
    for (const auto& [section, keys] : sections) {
        text += "[" + section + "]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
    }
    return text;
}

IniSections TestPack() {
    return {
        {"LanguageProperty", {{"Name", "English"}, {"CharSet", "0"}}},
        {"ListView", {{"Mono", "Mono"}, {"Stereo", "Stereo"}}},
        {"OptionsForm",
         {{"OutputFormat", "Output Format"}, {"Bitrate", "Bitrate"}, {"Quality", "Quality"}}},
        {"StatusBar", {{"Files", "Files"}}},
    };
}

IniSections Without(IniSections pack, const std::string& section, const std::string& key) {
    for (auto& [name, keys] : pack) {
        if (name == section) {
            std::erase_if(keys, [&](const auto& entry) { return entry.first == key; });
        }
    }
    return pack;
}

IniSections Replaced(IniSections pack, const std::string& section, const std::string& key,
                     const std::string& value) {
    for (auto& [name, keys] : pack) {
        for (auto& entry : keys) {
            if (name == section && entry.first == key) {
                entry.second = value;
            }
        }
    }
    return pack;
}

void WhenShown(QDialog* dialog, std::function<void()> action) {
    auto* timer = new QTimer(dialog);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, action] {
        if (!dialog->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        // The dialog loads its settings from a queued call right after it is shown.
        QCoreApplication::sendPostedEvents(dialog, QEvent::MetaCall);
        action();
    });
    timer->start();
}

UiTest::UiTest() {
    platform::SetProgramDirForTesting(Dir());
    platform::SetConfigHomeForTesting(Dir() + "config");
    QDir().mkpath(QString::fromStdString(PackDir()));
    platform::SetOpenFilesDialogForTesting([this](QWidget*, const std::string& filter) {
        lastFilter = filter;
        return nextFiles_;
    });
    platform::SetFolderBrowserForTesting([this](const std::string&) { return pickedFolder; });
    // No banner: these windows are tested without the web engine, which the banner tests cover.
    WriteSettings("[General]\r\nAd=0\r\n");
    main = std::make_unique<TMainForm>();
    options = new TOptionsForm(main.get());
    main->SetOtherForms({nullptr, nullptr, options});
}

UiTest::~UiTest() {
    main.reset();
    platform::SetFolderBrowserForTesting({});
    platform::SetOpenFilesDialogForTesting({});
    platform::SetProgramDirForTesting("");
    platform::SetConfigHomeForTesting("");
}

void UiTest::WritePack(const std::string& file, const IniSections& pack) const {
    testing_support::WriteFile(PackDir() + file, IniText(pack));
}

std::string UiTest::Setting(const std::string& section, const std::string& key) const {
    return platform::IniFile(SettingsFile()).ReadString(section, key, "<absent>");
}

void UiTest::Start() {
    main->show();
    QCoreApplication::sendPostedEvents(main.get(), QEvent::MetaCall);
    QCoreApplication::processEvents();
}

void UiTest::Add(std::optional<std::vector<std::string>> paths) {
    nextFiles_.reset();
    if (paths) {
        // As the toolkit's dialog answers: text, with U+FFFD for bytes that are not UTF-8.
        nextFiles_.emplace();
        for (const std::string& path : *paths) {
            *nextFiles_ << QString::fromStdString(path);
        }
    }
    QTest::mouseClick(main->SpeedButtonAdd, Qt::LeftButton);
}

void UiTest::Drop(const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    data.setUrls(urls);
    QWidget* target = main->ListView1->viewport();
    const QPointF where(20, 20);
    // The toolkit offers the drag to the widget under the cursor and its parents, then drops on
    // whichever accepted it.
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(enter.isAccepted() ? static_cast<QWidget*>(main.get()) : target, &drop);
}

void UiTest::ClickRow(int row) {
    QTreeWidgetItem* item = main->ListView1->topLevelItem(row);
    const QRect rect = main->ListView1->visualItemRect(item);
    QTest::mouseClick(main->ListView1->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QString UiTest::Cell(int row, int column) const {
    return main->ListView1->topLevelItem(row)->text(column);
}

}  // namespace uitest
