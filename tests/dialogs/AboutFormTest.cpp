// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>

#include <filesystem>

#include "BoxRecorder.h"
#include "DoubleLibrary.h"
#include "Formabout.h"
#include "Formprocess.h"
#include "HomePage.h"
#include "IniFile.h"
#include "Languageapply.h"
#include "ProgramDir.h"
#include "UrlOpener.h"
#include "WaveWriter.h"

using namespace testing_support;

namespace {

// A program folder holding the chosen doubles of the three libraries.
class ProgramFolder {
  public:
    ProgramFolder(const std::vector<std::pair<std::string, std::string>>& libraries) {
        for (const auto& [variant, library] : libraries) {
            std::filesystem::copy_file(DoubleLibrary::Folder(variant) + library + ".so",
                                       dir_.File(library + ".so"));
        }
        platform::SetProgramDirForTesting(dir_.Path());
    }
    ~ProgramFolder() { platform::SetProgramDirForTesting(""); }

  private:
    TempDir dir_;
};

}  // namespace

TEST(AboutForm, VersionTextsOfTheLibrariesBesideTheProgram) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> libraries;
        const char* mp3;
        const char* wma;
        const char* ogg;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"all_three",
         {{"complete", "lame_enc"}, {"complete", "wmaudsdk"}, {"complete", "vorbis"}},
         "lame-enc 3.98",
         "Windows Media Audio SDK 4.0.0. 3688",
         "Vorbis DLL 3.98",
         {}},
        {"wma_version_ten",
         {{"complete", "lame_enc"}, {"version10", "wmaudsdk"}, {"complete", "vorbis"}},
         "lame-enc 3.98",
         "Windows Media Audio SDK 10.0.0. 0",
         "Vorbis DLL 3.98",
         {}},
        {"wma_without_version",
         {{"complete", "lame_enc"}, {"no_version", "wmaudsdk"}, {"complete", "vorbis"}},
         "lame-enc 3.98",
         "Windows Media Audio SDK ",
         "Vorbis DLL 3.98",
         {}},
        {"none",
         {},
         "",
         "Windows Media Audio SDK ",
         "",
         {"Lame Encoder|Could not load lame_enc.so file", "vorbis|Could not load vorbis.so file"}},
        {"mp3_missing_an_entry_point",
         {{"no_beVersion", "lame_enc"}, {"complete", "vorbis"}},
         "",
         "Windows Media Audio SDK ",
         "Vorbis DLL 3.98",
         {"Lame Encoder|Could not found beVersion library function"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder(c.libraries);
        BoxRecorder boxes;
        TAboutForm form;
        EXPECT_EQ(form.Label6->text().toStdString(), c.mp3);
        EXPECT_EQ(form.Label8->text().toStdString(), c.wma);
        EXPECT_EQ(form.Label10->text().toStdString(), c.ogg);
        EXPECT_EQ(boxes.Lines(), c.boxes);
    }
}

TEST(AboutForm, ControlsAndLink) {
    BoxRecorder boxes;
    TAboutForm form;
    EXPECT_EQ(form.objectName(), "AboutForm");
    EXPECT_EQ(form.windowTitle(), "About");
    EXPECT_EQ(form.size(), QSize(337, 224));
    EXPECT_EQ(form.Label1->text(), "Quennets Sonvert");
    EXPECT_EQ(form.Label11->text(), "3.2");
    EXPECT_EQ(form.Label1->pos(), QPoint(24, 24));
    EXPECT_EQ(form.Label6->pos(), QPoint(101, 104));
    EXPECT_EQ(form.ButtonOk->geometry(), QRect(120, 188, 75, 25));
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_EQ(form.Label4->text(), "www.quennets.com");

    // The product name and the link have fonts of their own; the other texts follow the dialog.
    struct FontCase {
        QLabel* label;
        int pixelSize;
        bool bold;
        bool underline;
    };
    const FontCase fonts[] = {
        {form.Label1, 13, false, false},
        {form.Label4, 11, false, true},
        {form.Label2, 11, false, false},
        {form.Label6, 11, false, false},
    };
    for (const FontCase& f : fonts) {
        const QFont font = f.label->font();
        EXPECT_EQ(font.family(), "Tahoma") << f.label->objectName().toStdString();
        EXPECT_EQ(font.pixelSize(), f.pixelSize) << f.label->objectName().toStdString();
        EXPECT_EQ(font.bold(), f.bold) << f.label->objectName().toStdString();
        EXPECT_EQ(font.underline(), f.underline) << f.label->objectName().toStdString();
    }

    std::vector<std::string> opened;
    auto previous = platform::SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    QTest::mouseClick(form.Label4, Qt::LeftButton);
    platform::SetUrlOpener(previous);
    EXPECT_EQ(opened, std::vector<std::string>{HomePage});
}

TEST(AboutForm, ProductVersionText) {
    EXPECT_EQ(TAboutForm::FileProductVersion("/nonexistent/wmaudsdk.so"), "");
    EXPECT_EQ(TAboutForm::FileProductVersion(DoubleLibrary::Folder("complete") + "wmaudsdk.so"),
              "4.0.0. 3688");
    EXPECT_EQ(TAboutForm::FileProductVersion(DoubleLibrary::Folder("no_version") + "wmaudsdk.so"),
              "");
    TempDir dir;
    WriteFile(dir.File("garbage.so"),
              "\x7f"
              "ELF and then nothing sensible");
    EXPECT_EQ(TAboutForm::FileProductVersion(dir.File("garbage.so")), "");
    EXPECT_EQ(TAboutForm::FileProductVersion(dir.Path()), "");
}

// The language step reaches both dialogs by their controls' names; texts of their own stay.
TEST(DialogTexts, PacksReachTheirCaptionsAndLeaveTheirOwnTextsAlone) {
    BoxRecorder boxes;
    TAboutForm about;
    TProcessForm process;
    const std::string packs = platform::ProgramDir() + "SVLanguage/";
    const QString name = about.Label1->text();
    const QString version = about.Label11->text();
    const QString link = about.Label4->text();
    const QString mp3 = about.Label6->text();

    const platform::IniFile english(packs + "English.ini");
    EXPECT_TRUE(ApplyLanguagePackToWindows(&english, {nullptr, &about, &process, nullptr}).empty());
    const std::pair<QWidget*, const char*> builtIn[] = {
        {about.Label2, "Version:"},           {about.Label3, "Home page:"},
        {about.Label5, "MP3 Encoder:"},       {about.Label7, "WMA Encoder:"},
        {about.Label9, "OGG Encoder:"},       {about.ButtonOk, "OK"},
        {process.Label2, "Current process:"}, {process.Label3, "Total process:"},
        {process.ButtonCancel, "Cancel"},
    };
    for (const auto& [widget, text] : builtIn) {
        const QString shown = widget->property("text").toString();
        EXPECT_EQ(shown.toStdString(), text) << widget->objectName().toStdString();
    }
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(process.windowTitle(), "Processing");

    const platform::IniFile chinese(packs + "ChineseGB.ini");
    EXPECT_TRUE(ApplyLanguagePackToWindows(&chinese, {nullptr, &about, &process, nullptr}).empty());
    for (const auto& [widget, text] : builtIn) {
        EXPECT_NE(widget->property("text").toString().toStdString(), text)
            << widget->objectName().toStdString();
    }
    EXPECT_NE(about.windowTitle(), "About");
    EXPECT_NE(process.windowTitle(), "Processing");
    EXPECT_EQ(about.Label1->text(), name);
    EXPECT_EQ(about.Label11->text(), version);
    EXPECT_EQ(about.Label4->text(), link);
    EXPECT_EQ(about.Label6->text(), mp3);
    // The product name and the link keep fonts of their own.
    EXPECT_EQ(about.Label1->font().pixelSize(), 13);
    EXPECT_TRUE(about.Label4->font().underline());
}
