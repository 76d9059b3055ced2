// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// The open-files dialog: several existing files may be chosen. `filter` is in the toolkit's form
// ("Description (*.a *.b);;Other (*)"), its first entry the initial choice; empty for no filter.
// Returns the chosen paths in the dialog's order, as the file system's bytes (see
// FileSystemPath), or nothing when the user cancels.
std::optional<std::vector<std::string>> GetOpenFileNames(QWidget* owner, const std::string& filter);

// The folder browser: file-system folders only, nothing preselected. Returns the picked folder's
// path, or nothing when the user cancels.
std::optional<std::string> BrowseForFolder(const std::string& title);

// Replacements for tests; an empty function restores the real dialog. Each returns the previous
// replacement. The open-files replacement answers as the toolkit's dialog does, in text.
using OpenFilesDialog =
    std::function<std::optional<QStringList>(QWidget* owner, const std::string& filter)>;
using FolderBrowser = std::function<std::optional<std::string>(const std::string& title)>;
OpenFilesDialog SetOpenFilesDialogForTesting(OpenFilesDialog dialog);
FolderBrowser SetFolderBrowserForTesting(FolderBrowser browser);

}  // namespace platform
