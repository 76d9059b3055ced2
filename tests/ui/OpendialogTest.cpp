// SPDX-License-Identifier: GPL-3.0-or-later
#include "Opendialog.h"

#include <QWidget>

#include <gtest/gtest.h>

#include "FileDialogs.h"

namespace {

TEST(OpendialogTest, PackFilterBecomesTheToolkitsFormInTheSameOrder) {
    const std::pair<const char*, const char*> cases[] = {
        {"WAVE Files(*.wav)|*.wav|All Files(*.*)|*.*",
         "WAVE Files(*.wav) (*.wav);;All Files(*.*) (*)"},
        {"Sound|*.wav;*.wave", "Sound (*.wav *.wave)"},
        {"Sound|*.wav; *.WAV ;", "Sound (*.wav *.WAV)"},
        {"", ""},
        {"Only a description", ""},
        {"Wave|*.wav|dangling", "Wave (*.wav)"},
        {"|*.wav", "*.wav (*.wav)"},
        {"\xE6\xB3\xA2\xE5\xBD\xA2|*.wav", "\xE6\xB3\xA2\xE5\xBD\xA2 (*.wav)"},
    };
    for (const auto& [pack, toolkit] : cases) {
        EXPECT_EQ(TOpenDialog::ToolkitFilter(QString::fromUtf8(pack)).toStdString(), toolkit)
            << pack;
    }
}

// The dialog reaches the platform's open dialog with its owner and converted filter, and keeps
// the previous choice when the user cancels.
TEST(OpendialogTest, ExecuteAsksThePlatformDialog) {
    QWidget owner;
    TOpenDialog dialog(&owner);
    dialog.setProperty("Filter", QStringLiteral("Wave|*.wav"));
    QWidget* seenOwner = nullptr;
    std::string seenFilter;
    std::optional<QStringList> answer = QStringList{"/b.wav", "/a.wav"};
    platform::SetOpenFilesDialogForTesting([&](QWidget* o, const std::string& filter) {
        seenOwner = o;
        seenFilter = filter;
        return answer;
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(seenOwner, &owner);
    EXPECT_EQ(seenFilter, "Wave (*.wav)");
    EXPECT_EQ(dialog.Files(), (std::vector<std::string>{"/b.wav", "/a.wav"}));

    answer.reset();
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Files(), (std::vector<std::string>{"/b.wav", "/a.wav"}));
    platform::SetOpenFilesDialogForTesting({});
}

}  // namespace
