// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formoptions.h"

#include <QTest>

#include <gtest/gtest.h>

#include "Locale.h"
#include "ProgramDir.h"
#include "SettingsLocation.h"
#include "Settingsfile.h"
#include "UiTestSupport.h"

namespace {

using uitest::UiTest;

const char* const StoredSettings =
    "[General]\r\nOutputFormat=3\r\nCustomDir=1\r\nOutputDir=/music/out\r\nLanguage=English.ini\r\n"
    "[MP3]\r\nBitrate=5\r\nCRC=1\r\nCopyright=0\r\nOriginal=1\r\nPrivate=0\r\n"
    "[WMA]\r\nBitrate=1\r\n[OGG]\r\nQuality=7\r\n[Other]\r\nKeep=me\r\n";

class FormoptionsTest : public testing::Test, public UiTest {
  protected:
    void SetUp() override {
        WritePack("English.ini", uitest::TestPack());
        WriteSettings(StoredSettings);
        Start();
    }
    // The Options command, with `inDialog` run while the dialog is up; it must close the dialog.
    void Options(std::function<void()> inDialog) {
        uitest::WhenShown(options, std::move(inDialog));
        QTest::mouseClick(main->SpeedButtonOptions, Qt::LeftButton);
        ASSERT_FALSE(options->isVisible());
    }
    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void ChangeEverything() {
        options->RadioFormatWMA->setChecked(true);
        options->RadioSourceDir->setChecked(true);
        options->EditOutputDir->setText("/elsewhere");
        options->ComboBoxLanguage->setCurrentIndex(-1);
        options->ComboBoxMP3Bitrate->setCurrentIndex(0);
        options->CheckBoxMP3CRC->setChecked(false);
        options->CheckBoxMP3Copyright->setChecked(true);
        options->CheckBoxMP3Original->setChecked(false);
        options->CheckBoxMP3Private->setChecked(true);
        options->ComboBoxWMABitrate->setCurrentIndex(4);
        options->ComboBoxOGGQuality->setCurrentIndex(0);
    }
    ConversionOptions Stored() const {
        ConversionOptions stored;
        stored.OutputFormat = OutputFormat::OGG;
        stored.CustomDir = true;
        stored.OutputDir = "/music/out";
        stored.Mp3BitrateIndex = 5;
        stored.Mp3Crc = true;
        stored.Mp3Original = true;
        stored.WmaBitrateIndex = 1;
        stored.OggQualityIndex = 6;
        return stored;
    }
};

TEST_F(FormoptionsTest, BuiltInStateUntilFirstShown) {
    EXPECT_EQ(options->CurrentOptions(), ConversionOptions{});
    EXPECT_EQ(options->ComboBoxOGGQuality->currentText(), "4  ~112kbps");
    EXPECT_EQ(options->ComboBoxLanguage->count(), 0);
}

TEST_F(FormoptionsTest, ShowingLoadsTheFileWithTheFirstTabInFront) {
    options->PageControl1->setCurrentIndex(2);
    Options([&] {
        EXPECT_EQ(options->PageControl1->currentIndex(), 0);
        EXPECT_EQ(options->CurrentOptions(), Stored());
        EXPECT_EQ(options->ComboBoxLanguage->currentText(), "English");
        Click(options->ButtonCancel);
    });
}

TEST_F(FormoptionsTest, CancelAfterChangingEveryOptionLeavesFileAndValues) {
    const std::string before = testing_support::ReadFile(SettingsFile());
    Options([&] {
        ChangeEverything();
        Click(options->ButtonCancel);
    });
    EXPECT_EQ(testing_support::ReadFile(SettingsFile()), before);
    EXPECT_EQ(options->CurrentOptions(), Stored());
    EXPECT_EQ(options->ComboBoxLanguage->currentText(), "English");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(FormoptionsTest, CloseBoxCountsAsCancelAndEscapeDoesNothing) {
    const std::string before = testing_support::ReadFile(SettingsFile());
    Options([&] {
        ChangeEverything();
        QTest::keyClick(options, Qt::Key_Escape);
        EXPECT_TRUE(options->isVisible());
        options->close();
    });
    EXPECT_EQ(testing_support::ReadFile(SettingsFile()), before);
    EXPECT_EQ(options->CurrentOptions(), Stored());
}

TEST_F(FormoptionsTest, DefaultThenCancelChangesNothingAndDefaultThenOkWritesTheDefaults) {
    const std::string before = testing_support::ReadFile(SettingsFile());
    Options([&] {
        Click(options->ButtonDefault);
        Click(options->ButtonCancel);
    });
    EXPECT_EQ(testing_support::ReadFile(SettingsFile()), before);

    Options([&] {
        options->PageControl1->setCurrentIndex(3);
        Click(options->ButtonDefault);
        EXPECT_EQ(options->PageControl1->currentIndex(), 3);
        EXPECT_EQ(options->ComboBoxLanguage->currentText(), "English");
        Click(options->ButtonOk);
    });
    const std::pair<const char*, const char*> keys[] = {
        {"General", "OutputFormat"}, {"General", "CustomDir"}, {"General", "Language"},
        {"MP3", "Bitrate"},          {"MP3", "CRC"},           {"MP3", "Copyright"},
        {"MP3", "Original"},         {"MP3", "Private"},       {"WMA", "Bitrate"},
        {"OGG", "Quality"},          {"Other", "Keep"},
    };
    const char* expected[] = {"1", "0", "English.ini", "3", "0", "0", "0", "0", "3", "4", "me"};
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        EXPECT_EQ(Setting(keys[i].first, keys[i].second), expected[i]) << keys[i].second;
    }
    EXPECT_EQ(Setting("General", "OutputDir"), DefaultOutputDir());
    EXPECT_EQ(Panel(1), "Output Format: MP3      Bitrate: 128kbps");
    EXPECT_EQ(Panel(2), "");
}

TEST_F(FormoptionsTest, OutOfRangeIndexShowsNoEntryAndSavesMinusOne) {
    WriteSettings(
        "[General]\r\nLanguage=English.ini\r\n[MP3]\r\nBitrate=9\r\n[OGG]\r\nQuality=11\r\n");
    Options([&] {
        EXPECT_EQ(options->ComboBoxMP3Bitrate->currentIndex(), -1);
        EXPECT_EQ(options->ComboBoxMP3Bitrate->currentText(), "");
        EXPECT_EQ(options->ComboBoxOGGQuality->currentIndex(), -1);
        Click(options->ButtonOk);
    });
    EXPECT_EQ(Setting("MP3", "Bitrate"), "-1");
    EXPECT_EQ(Setting("OGG", "Quality"), "0");
    // The worker takes the built-in choice for the empty list, and the status bar says so.
    EXPECT_EQ(Panel(1), "Output Format: MP3      Bitrate: 128kbps");
}

TEST_F(FormoptionsTest, LanguageListIsSortedWithoutRegardToCaseAndPreselected) {
    WritePack("b.ini", {{"LanguageProperty", {{"Name", "Bee"}}}});
    WritePack("a.INI", {{"LanguageProperty", {{"Name", "Ay"}}}});
    WritePack("nameless.ini", {{"LanguageProperty", {{"FontName", "Tahoma"}}}});
    WriteSettings("[General]\r\nLanguage=B.ini\r\n");
    Options([&] {
        QStringList names;
        for (int i = 0; i < options->ComboBoxLanguage->count(); ++i) {
            names << options->ComboBoxLanguage->itemText(i);
        }
        EXPECT_EQ(names, (QStringList{"Ay", "Bee", "English", ""}));
        EXPECT_EQ(options->ComboBoxLanguage->currentIndex(), 1);
        Click(options->ButtonCancel);
    });

    // A stored pack that no longer exists selects nothing. OK stores the empty name, so the
    // language step that follows chooses by the user's language and stores that choice.
    WriteSettings("[General]\r\nLanguage=Gone.ini\r\n");
    platform::SetUserLanguageIdForTesting(0x0419);
    Options([&] {
        EXPECT_EQ(options->ComboBoxLanguage->currentIndex(), -1);
        Click(options->ButtonOk);
    });
    platform::SetUserLanguageIdForTesting(0);
    EXPECT_EQ(Setting("General", "Language"), "Russian.ini");
}

TEST_F(FormoptionsTest, TwoPacksWithOneNameSaveTheEarlierFile) {
    WritePack("Zweite.ini", {{"LanguageProperty", {{"Name", "Deutsch"}}}});
    WritePack("deutsch1.ini", {{"LanguageProperty", {{"Name", "Deutsch"}}}});
    WriteSettings("[General]\r\nLanguage=Zweite.ini\r\n");
    Options([&] {
        ASSERT_EQ(options->ComboBoxLanguage->count(), 3);
        EXPECT_EQ(options->ComboBoxLanguage->currentIndex(), 2);
        Click(options->ButtonOk);
    });
    EXPECT_EQ(Setting("General", "Language"), "deutsch1.ini");
}

TEST_F(FormoptionsTest, PickedFolderEndsInOneSeparatorAndLeavesTheRadioButtons) {
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {"/", "/"},
        {"/home/user/Music", "/home/user/Music/"},
        {"/home/user/Music/", "/home/user/Music/"},
        {std::nullopt, "typed by hand"},
    };
    for (const auto& [picked, shown] : cases) {
        options->RadioSourceDir->setChecked(true);
        options->EditOutputDir->setText("typed by hand");
        pickedFolder = picked;
        Click(options->ButtonSelectPath);
        EXPECT_EQ(options->EditOutputDir->text(), shown);
        EXPECT_TRUE(options->RadioSourceDir->isChecked());
    }
}

TEST_F(FormoptionsTest, TypedFolderIsSavedAsTyped) {
    Options([&] {
        options->EditOutputDir->setText("/no/trailing");
        Click(options->ButtonOk);
    });
    EXPECT_EQ(Setting("General", "OutputDir"), "/no/trailing");
}

TEST_F(FormoptionsTest, BadNumberStopsTheLoadWithTheStandardError) {
    WriteSettings(
        "[General]\r\nOutputFormat=2\r\nLanguage=English.ini\r\n"
        "[MP3]\r\nBitrate=5\r\nCRC=1\r\n[WMA]\r\nBitrate=x1\r\n[OGG]\r\nQuality=9\r\n");
    Options([&] {
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].kind, platform::BoxKind::StandardError);
        EXPECT_EQ(Boxes()[0].text, "'x1' is not a valid integer value.");
        // Keys before the bad one are loaded; it and those after keep their values.
        EXPECT_TRUE(options->RadioFormatWMA->isChecked());
        EXPECT_EQ(options->ComboBoxMP3Bitrate->currentIndex(), 5);
        EXPECT_TRUE(options->CheckBoxMP3CRC->isChecked());
        EXPECT_EQ(options->ComboBoxWMABitrate->currentIndex(), 3);
        EXPECT_EQ(options->ComboBoxOGGQuality->currentIndex(), 3);
        Click(options->ButtonCancel);
    });
    // The reload after Cancel fails the same way and skips the rest of the command.
    EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(FormoptionsTest, RefusedSaveShowsTheErrorAndSkipsTheRest) {
    const std::string blocker = Dir() + "blocked";
    testing_support::WriteFile(blocker, "");
    // A settings path below a plain file can never be written, beside the program or not.
    platform::SetProgramDirForTesting(blocker + "/");
    platform::SetConfigHomeForTesting(blocker);
    main->StatusBar1->SetPanelText(0, "stale");
    Options([&] { Click(options->ButtonOk); });
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back().kind, platform::BoxKind::StandardError);
    EXPECT_EQ(Boxes().back().text, "Unable to write to " + blocker + "/sonvert/Sonvert.ini.");
    EXPECT_EQ(Panel(0), "stale");
}

}  // namespace
