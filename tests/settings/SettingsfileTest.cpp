// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settingsfile.h"

#include <gtest/gtest.h>

#include <functional>

#include "IniFile.h"
#include "SettingsTestFolder.h"

namespace {

class SettingsfileTest : public testing::Test {
  protected:
    // What a load of an empty or missing file gives.
    ConversionOptions Loaded() const {
        ConversionOptions options;
        options.OutputDir = folder_.Dir() + "Documents/";
        options.OggQualityIndex = 2;
        return options;
    }
    // Differs from every value a load can give, so that untouched fields show.
    static ConversionOptions Sentinel() {
        ConversionOptions options;
        options.OutputFormat = OutputFormat::WMA;
        options.CustomDir = true;
        options.OutputDir = "/sentinel/";
        options.Mp3BitrateIndex = 77;
        options.Mp3Crc = options.Mp3Copyright = options.Mp3Original = options.Mp3Private = true;
        options.WmaBitrateIndex = 77;
        options.OggQualityIndex = 77;
        return options;
    }
    std::string SettingsFile() const { return folder_.Dir() + "Sonvert.ini"; }

    SettingsTestFolder folder_;
};

TEST_F(SettingsfileTest, PathsFollowTheProgramAndDocumentsFolders) {
    EXPECT_EQ(SettingsPath(), folder_.Dir() + "Sonvert.ini");
    EXPECT_EQ(DefaultOutputDir(), folder_.Dir() + "Documents/");
}

TEST_F(SettingsfileTest, MissingFileLoadsTheDefaults) {
    ConversionOptions options = Sentinel();
    std::string language = "sentinel";
    ReadSettingsFile(options, language);
    EXPECT_EQ(options, Loaded());
    EXPECT_EQ(language, "");
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

struct ReadCase {
    const char* name;
    const char* file;
    std::function<void(ConversionOptions&)> change;  // from Loaded()
    const char* language;
};

TEST_F(SettingsfileTest, ReadsEveryKey) {
    using O = ConversionOptions;
    const ReadCase cases[] = {
        {"format 3 is OGG", "[General]\nOutputFormat=3\n",
         [](O& o) { o.OutputFormat = OutputFormat::OGG; }, ""},
        {"format 2 is WMA", "[General]\nOutputFormat=2\n",
         [](O& o) { o.OutputFormat = OutputFormat::WMA; }, ""},
        {"format 1 is MP3", "[General]\nOutputFormat=1\n", [](O&) {}, ""},
        {"format 0 is MP3", "[General]\nOutputFormat=0\n", [](O&) {}, ""},
        {"format 4 is MP3", "[General]\nOutputFormat=4\n", [](O&) {}, ""},
        {"format OGG is MP3", "[General]\nOutputFormat=OGG\n", [](O&) {}, ""},
        {"format 02 is MP3", "[General]\nOutputFormat=02\n", [](O&) {}, ""},
        {"format trimmed", "[General]\nOutputFormat = 3 \n",
         [](O& o) { o.OutputFormat = OutputFormat::OGG; }, ""},
        {"custom dir 1", "[General]\nCustomDir=1\n", [](O& o) { o.CustomDir = true; }, ""},
        {"custom dir true is false", "[General]\nCustomDir=true\n", [](O&) {}, ""},
        {"custom dir 01 is false", "[General]\nCustomDir=01\n", [](O&) {}, ""},
        {"output dir as stored", "[General]\nOutputDir=/music/out\n",
         [](O& o) { o.OutputDir = "/music/out"; }, ""},
        {"Windows output dir unchanged", "[General]\nOutputDir=C:\\Out\n",
         [](O& o) { o.OutputDir = "C:\\Out"; }, ""},
        {"empty output dir is the default", "[General]\nOutputDir=\n", [](O&) {}, ""},
        {"language trimmed", "[General]\nLanguage=  Russian.ini \n", [](O&) {}, "Russian.ini"},
        {"MP3 bitrate", "[MP3]\nBitrate=6\n", [](O& o) { o.Mp3BitrateIndex = 6; }, ""},
        {"MP3 bitrate out of range kept", "[MP3]\nBitrate=-1\n",
         [](O& o) { o.Mp3BitrateIndex = -1; }, ""},
        {"MP3 bitrate with plus sign", "[MP3]\nBitrate=+4\n", [](O& o) { o.Mp3BitrateIndex = 4; },
         ""},
        {"MP3 bitrate empty", "[MP3]\nBitrate=\n", [](O&) {}, ""},
        {"four flags", "[MP3]\nCRC=1\nCopyright=1\nOriginal=1\nPrivate=1\n",
         [](O& o) { o.Mp3Crc = o.Mp3Copyright = o.Mp3Original = o.Mp3Private = true; }, ""},
        {"flags only for 1", "[MP3]\nCRC=yes\nCopyright=2\nOriginal=on\nPrivate=-1\n", [](O&) {},
         ""},
        {"WMA bitrate", "[WMA]\nBitrate=0\n", [](O& o) { o.WmaBitrateIndex = 0; }, ""},
        {"same key in two sections", "[MP3]\nBitrate=1\n[WMA]\nBitrate=5\n",
         [](O& o) {
             o.Mp3BitrateIndex = 1;
             o.WmaBitrateIndex = 5;
         },
         ""},
        {"quality 10 is index 9", "[OGG]\nQuality=10\n", [](O& o) { o.OggQualityIndex = 9; }, ""},
        {"quality 1 is index 0", "[OGG]\nQuality=1\n", [](O& o) { o.OggQualityIndex = 0; }, ""},
        {"quality 0 is index -1", "[OGG]\nQuality=0\n", [](O& o) { o.OggQualityIndex = -1; }, ""},
        {"quality empty is level 3", "[OGG]\nQuality=\n", [](O&) {}, ""},
        {"lowest quality stays lowest", "[OGG]\nQuality=-2147483648\n",
         [](O& o) { o.OggQualityIndex = std::numeric_limits<int>::min(); }, ""},
        {"names ignore case", "[general]\noutputformat=2\n[mp3]\nBITRATE=0\n",
         [](O& o) {
             o.OutputFormat = OutputFormat::WMA;
             o.Mp3BitrateIndex = 0;
         },
         ""},
        {"banner key is no option", "[General]\nAd=0\n", [](O&) {}, ""},
    };
    for (const ReadCase& c : cases) {
        SettingsTestFolder::Write(SettingsFile(), c.file);
        ConversionOptions options = Sentinel();
        std::string language = "sentinel";
        ReadSettingsFile(options, language);
        ConversionOptions expected = Loaded();
        c.change(expected);
        EXPECT_EQ(options, expected) << c.name;
        EXPECT_EQ(language, c.language) << c.name;
    }
}

struct BadNumberCase {
    const char* name;
    const char* file;
    const char* message;
    // Fields from the bad key on keep their sentinel values.
    std::function<void(ConversionOptions&)> keepSentinel;
};

TEST_F(SettingsfileTest, BadNumberStopsTheLoadAtItsKey) {
    using O = ConversionOptions;
    const O sentinel = Sentinel();
    const char* head = "[General]\nOutputFormat=3\nCustomDir=0\nOutputDir=/out\nLanguage=X.ini\n";
    const BadNumberCase cases[] = {
        {"MP3 bitrate", "[MP3]\nBitrate=abc\nCRC=0\n[WMA]\nBitrate=1\n[OGG]\nQuality=1\n",
         "'abc' is not a valid integer value",
         [&](O& o) {
             o.Mp3BitrateIndex = sentinel.Mp3BitrateIndex;
             o.Mp3Crc = o.Mp3Copyright = o.Mp3Original = o.Mp3Private = true;
             o.WmaBitrateIndex = sentinel.WmaBitrateIndex;
             o.OggQualityIndex = sentinel.OggQualityIndex;
         }},
        {"WMA bitrate", "[MP3]\nBitrate=2\n[WMA]\nBitrate=1.5\n[OGG]\nQuality=1\n",
         "'1.5' is not a valid integer value",
         [&](O& o) {
             o.WmaBitrateIndex = sentinel.WmaBitrateIndex;
             o.OggQualityIndex = sentinel.OggQualityIndex;
         }},
        {"OGG quality", "[MP3]\nBitrate=2\n[WMA]\nBitrate=1\n[OGG]\nQuality=$A\n",
         "'$A' is not a valid integer value",
         [&](O& o) { o.OggQualityIndex = sentinel.OggQualityIndex; }},
        {"overflow", "[MP3]\nBitrate=2\n[WMA]\nBitrate=99999999999\n",
         "'99999999999' is not a valid integer value",
         [&](O& o) {
             o.WmaBitrateIndex = sentinel.WmaBitrateIndex;
             o.OggQualityIndex = sentinel.OggQualityIndex;
         }},
        {"quoted blanks", "[MP3]\nBitrate=\" 5\"\n", "' 5' is not a valid integer value",
         [&](O& o) {
             o.Mp3BitrateIndex = sentinel.Mp3BitrateIndex;
             o.Mp3Crc = o.Mp3Copyright = o.Mp3Original = o.Mp3Private = true;
             o.WmaBitrateIndex = sentinel.WmaBitrateIndex;
             o.OggQualityIndex = sentinel.OggQualityIndex;
         }},
    };
    for (const BadNumberCase& c : cases) {
        SettingsTestFolder::Write(SettingsFile(), std::string(head) + c.file);
        ConversionOptions options = sentinel;
        std::string language;
        try {
            ReadSettingsFile(options, language);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const SettingsError& error) {
            EXPECT_STREQ(error.what(), c.message) << c.name;
        }
        ConversionOptions expected = Loaded();
        expected.OutputFormat = OutputFormat::OGG;
        expected.OutputDir = "/out";
        expected.Mp3BitrateIndex = 2;
        expected.WmaBitrateIndex = 1;
        expected.OggQualityIndex = 0;
        c.keepSentinel(expected);
        EXPECT_EQ(options, expected) << c.name;
        EXPECT_EQ(language, "X.ini") << c.name;
    }
}

TEST_F(SettingsfileTest, WritesEveryKeyInOrder) {
    ConversionOptions options;
    options.OutputFormat = OutputFormat::OGG;
    options.CustomDir = true;
    options.OutputDir = "/music/out";
    options.Mp3BitrateIndex = 6;
    options.Mp3Crc = true;
    options.Mp3Original = true;
    options.WmaBitrateIndex = 0;
    options.OggQualityIndex = 0;
    WriteSettingsFile(options, "Russian.ini");
    EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()),
              "[General]\r\nOutputFormat=3\r\nCustomDir=1\r\nOutputDir=/music/out\r\n"
              "Language=Russian.ini\r\n[MP3]\r\nBitrate=6\r\nCRC=1\r\nCopyright=0\r\n"
              "Original=1\r\nPrivate=0\r\n[WMA]\r\nBitrate=0\r\n[OGG]\r\nQuality=1\r\n");

    ConversionOptions back;
    std::string language;
    ReadSettingsFile(back, language);
    EXPECT_EQ(back, options);
    EXPECT_EQ(language, "Russian.ini");
}

TEST_F(SettingsfileTest, EveryFormatSurvivesASaveAndLoad) {
    for (OutputFormat format : {OutputFormat::MP3, OutputFormat::WMA, OutputFormat::OGG}) {
        ConversionOptions options;
        options.OutputFormat = format;
        options.OggQualityIndex = 9;
        WriteSettingsFile(options, "");
        ConversionOptions back;
        std::string language = "x";
        ReadSettingsFile(back, language);
        EXPECT_EQ(back, options) << static_cast<int>(format);
        EXPECT_EQ(language, "");
    }
    EXPECT_NE(SettingsTestFolder::Read(SettingsFile()).find("Quality=10\r\n"), std::string::npos);
}

TEST_F(SettingsfileTest, SaveLeavesOtherKeysAndSectionsAlone) {
    SettingsTestFolder::Write(SettingsFile(),
                              "; written by hand\n[General]\nAd= 0 \nOutputFormat=2\n"
                              "[Window]\nLeft=10\n\n[MP3]\nBitrate=1\nExtra=yes\n");
    ConversionOptions options;
    WriteSettingsFile(options, "English.ini");
    EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()),
              "; written by hand\n[General]\nAd= 0 \nOutputFormat=1\nCustomDir=0\nOutputDir=/\n"
              "Language=English.ini\n[Window]\nLeft=10\n\n[MP3]\nBitrate=3\nExtra=yes\nCRC=0\n"
              "Copyright=0\nOriginal=0\nPrivate=0\n[WMA]\nBitrate=3\n[OGG]\nQuality=4\n");
}

TEST_F(SettingsfileTest, RefusedWriteStopsTheSave) {
    // Neither the program folder nor the configuration folder takes the file: the message names
    // the one the program tried, and nothing is created.
    const std::string message = "Unable to write to " + folder_.LockFolders();
    try {
        WriteSettingsFile(ConversionOptions{}, "English.ini");
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.what(), message);
    }
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    std::filesystem::permissions(folder_.Dir(), std::filesystem::perms::owner_all);
    platform::SetConfigHomeForTesting(folder_.Dir() + "config");

    // A read-only file keeps its text.
    SettingsTestFolder::Write(SettingsFile(), "[General]\nOutputFormat=2\n");
    std::filesystem::permissions(SettingsFile(), std::filesystem::perms::owner_read);
    EXPECT_THROW(WriteSettingsFile(ConversionOptions{}, ""), SettingsError);
    EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()), "[General]\nOutputFormat=2\n");
    std::filesystem::permissions(SettingsFile(), std::filesystem::perms::owner_all);

    // A refusal in the middle: the keys before it stay written, the ones after are not written.
    std::filesystem::remove(SettingsFile());
    ConversionOptions options;
    options.OutputFormat = OutputFormat::WMA;
    options.CustomDir = true;
    options.OutputDir = "/two\nlines";
    try {
        WriteSettingsFile(options, "English.ini");
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.what(), "Unable to write to " + SettingsFile());
    }
    EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()),
              "[General]\r\nOutputFormat=2\r\nCustomDir=1\r\n");
}

TEST_F(SettingsfileTest, ReadOnlyProgramFolderMovesTheFileToTheUser) {
    SettingsTestFolder::Write(SettingsFile(), "[General]\nOutputFormat=3\nAd=0\n");
    std::filesystem::permissions(
        folder_.Dir(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::string own = folder_.Dir() + "config/sonvert/Sonvert.ini";
    EXPECT_EQ(SettingsPath(), own);

    // The administrator's file gives the starting values until the user's own exists.
    ConversionOptions options;
    std::string language;
    ReadSettingsFile(options, language);
    EXPECT_EQ(options.OutputFormat, OutputFormat::OGG);
    options.OutputFormat = OutputFormat::WMA;
    WriteSettingsFile(options, "English.ini");
    EXPECT_EQ(platform::IniFile(own).ReadString("General", "Ad", ""), "0");
    ReadSettingsFile(options, language);
    EXPECT_EQ(options.OutputFormat, OutputFormat::WMA);
    EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()), "[General]\nOutputFormat=3\nAd=0\n");
}

}  // namespace
