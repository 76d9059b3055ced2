// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDialogs.h"

#include <QAbstractButton>
#include <QFileDialog>

#include <utility>

#include "LocalFileName.h"

namespace platform {
namespace {

OpenFilesDialog& OpenFilesReplacement() {
    static OpenFilesDialog dialog;
    return dialog;
}

FolderBrowser& FolderReplacement() {
    static FolderBrowser browser;
    return browser;
}

std::optional<QStringList> ChooseFiles(QWidget* owner, const std::string& filter) {
    if (OpenFilesReplacement()) {
        return OpenFilesReplacement()(owner, filter);
    }
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The descriptions already name their patterns; showing them twice only adds noise.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!filter.empty()) {
        dialog.setNameFilters(QString::fromUtf8(filter).split(QStringLiteral(";;")));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

}  // namespace

std::optional<std::vector<std::string>> GetOpenFileNames(QWidget* owner,
                                                         const std::string& filter) {
    const std::optional<QStringList> chosen = ChooseFiles(owner, filter);
    if (!chosen) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const QString& path : *chosen) {
        paths.push_back(FileSystemPath(path));
    }
    return paths;
}

std::optional<std::string> BrowseForFolder(const std::string& title) {
    if (FolderReplacement()) {
        return FolderReplacement()(title);
    }
    QFileDialog dialog(nullptr, QString::fromUtf8(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Our own dialog, so that its new-folder button can be taken away: the browser only picks.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (auto* newFolder = dialog.findChild<QAbstractButton*>(QStringLiteral("newFolderButton"))) {
        newFolder->hide();
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

OpenFilesDialog SetOpenFilesDialogForTesting(OpenFilesDialog dialog) {
    return std::exchange(OpenFilesReplacement(), std::move(dialog));
}

FolderBrowser SetFolderBrowserForTesting(FolderBrowser browser) {
    return std::exchange(FolderReplacement(), std::move(browser));
}

}  // namespace platform
