// SPDX-License-Identifier: GPL-3.0-or-later
// Tags copied from real sources (made by FFmpeg and TagLib) into real outputs, read back by
// FFmpeg (ffprobe's libavformat) and mutagen-inspect.
#include <gtest/gtest.h>

#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FileConversion.h"
#include "MediaProbe.h"
#include "ProgramDir.h"
#include "SourceTags.h"
#include "TagCopy.h"

namespace fs = std::filesystem;

namespace {

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        pclose(pipe);
    }
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        c = c == '/' ? '_' : c;  // as ffprobe writes "WM/Year"
    }
    return text;
}

class Boxes final : public ConversionReporter {
  public:
    void Show(const platform::BoxRecord& box) override { texts.push_back(box.text); }
    std::vector<std::string> texts;
};

const char* const kExtensions[] = {".mp3", ".wma", ".ogg"};  // by OutputFormat

using Expected = std::map<TagField, std::string>;

struct SourceRow {
    const char* name;
    const char* extension;
    // FFmpeg's options after its input: the source's tags.
    std::string ffmpeg;
    // Added afterwards by TagLib as an ID3v2 chunk (chunk id "ID3 ", or "id3 " when lowerCase).
    TagLib::PropertyMap id3;
    bool lowerCase;
    Expected expected;
};

const std::string kJa = "日本語のタイトル";
const std::string kRu = "Привет, мир";
const std::string kLa = "Café Noël";

const std::vector<SourceRow>& Rows() {
    using F = TagField;
    const Expected all{{F::Title, kJa},          {F::Artist, kRu},   {F::Album, kLa},
                       {F::Date, "2024-05-06"},  {F::Track, "3/12"}, {F::Genre, "Рок"},
                       {F::Comment, "コメント"}, {F::Copyright, kLa}};
    const std::string ffmpegAll = "-metadata title='" + kJa + "' -metadata artist='" + kRu +
                                  "' -metadata album='" + kLa +
                                  "' -metadata date=2024-05-06 -metadata track=3/12"
                                  " -metadata genre='Рок' -metadata comment='コメント'"
                                  " -metadata copyright='" +
                                  kLa + "'";
    TagLib::PropertyMap id3;
    for (const auto& [key, value] : std::map<std::string, std::string>{{"TITLE", kJa},
                                                                       {"ARTIST", kRu},
                                                                       {"ALBUM", kLa},
                                                                       {"DATE", "2024-05-06"},
                                                                       {"TRACKNUMBER", "3/12"},
                                                                       {"GENRE", "Рок"},
                                                                       {"COMMENT", "コメント"},
                                                                       {"COPYRIGHT", kLa},
                                                                       {"LABEL", kRu}}) {
        id3.insert(key, TagLib::String(value, TagLib::String::UTF8));
    }
    Expected withPublisher = all;
    withPublisher[F::Publisher] = kRu;
    TagLib::PropertyMap titleAndGenre;
    titleAndGenre.insert("TITLE", TagLib::String(kJa, TagLib::String::UTF8));
    titleAndGenre.insert("GENRE", TagLib::String("Jazz"));
    static const std::vector<SourceRow> rows{
        {"info", ".wav", ffmpegAll, {}, false, all},
        {"id3", ".wav", "-fflags +bitexact", id3, false, withPublisher},
        {"bext",
         ".wav",
         "-fflags +bitexact -write_bext 1 -metadata description='" + kJa +
             "' -metadata originator='" + kLa +
             "' -metadata origination_date=2023-01-02 -metadata origination_time=10:20:30",
         {},
         false,
         {{F::Comment, kJa}, {F::Publisher, kLa}, {F::Date, "2023-01-02T10:20:30"}}},
        // An ID3v2 chunk before INFO before bext, field by field.
        {"all_three",
         ".wav",
         "-write_bext 1 -metadata title=Info -metadata artist='" + kRu +
             "' -metadata comment='INFO комментарий' -metadata date=2001-02-03"
             " -metadata description='bext note' -metadata originator='Studio Ø'"
             " -metadata origination_date=1999-12-31",
         titleAndGenre,
         true,
         {{F::Title, kJa},
          {F::Artist, kRu},
          {F::Genre, "Jazz"},
          {F::Comment, "INFO комментарий"},
          {F::Date, "2001-02-03"},
          {F::Publisher, "Studio Ø"}}},
        {"flac",
         ".flac",
         ffmpegAll + " -metadata ORGANIZATION='" + kRu + "'",
         {},
         false,
         withPublisher},
        {"aiff",
         ".aiff",
         ffmpegAll + " -write_id3v2 1 -metadata publisher='" + kRu + "'",
         {},
         false,
         withPublisher},
        {"none", ".wav", "-fflags +bitexact", {}, false, {}},
    };
    return rows;
}

class TagCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonvert-tags-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    void MakeSource(const SourceRow& row, const std::string& path) {
        const std::string made =
            Capture("ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=0.1' " + row.ffmpeg +
                    " '" + path + "' 2>&1");
        ASSERT_EQ(made, "") << row.name;
        if (!row.id3.isEmpty()) {
            TagLib::RIFF::WAV::File wav(path.c_str(), false);
            wav.ID3v2Tag()->setProperties(row.id3);
            ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone));
        }
        if (row.lowerCase) {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            std::string bytes{std::istreambuf_iterator<char>(file), {}};
            const auto at = bytes.find("ID3 ");
            ASSERT_NE(at, std::string::npos);
            file.seekp(static_cast<std::streamoff>(at));
            file.write("id3 ", 4);
        }
    }

    // Converts a WAVE source as the windows do, with or without tags.
    void Convert(const std::string& source, const std::string& output, OutputFormat format,
                 bool tags) {
        ConversionOptions options;
        options.OutputFormat = format;
        options.CopyTags = tags;
        Boxes boxes;
        const std::atomic<bool> stop{false};
        FileConversion conversion(options, {}, boxes, stop);
        ASSERT_EQ(conversion.Convert(source, output), FileOutcome::Converted)
            << (boxes.texts.empty() ? "" : boxes.texts.front());
    }

    fs::path dir_;
};

// mutagen-inspect's lines, KEY=value, by file. A comment frame reads COMM=description=lang=text.
std::map<std::string, std::multimap<std::string, std::string>> Mutagen(
    const std::vector<std::string>& paths) {
    std::string command = "mutagen-inspect";
    for (const std::string& path : paths) {
        command += " '" + path + "'";
    }
    std::istringstream lines(Capture(command));
    std::map<std::string, std::multimap<std::string, std::string>> files;
    std::string file;
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (line.rfind("-- ", 0) == 0) {
            file = line.substr(3);
            files[file];
        } else if (equals != std::string::npos) {
            std::string value = line.substr(equals + 1);
            if (line.rfind("COMM=", 0) == 0) {
                value = value.substr(value.find('=', 1) + 1);
            }
            files[file].emplace(line.substr(0, equals), value);
        }
    }
    return files;
}

// FFmpeg's tags of the file and its stream (ffprobe's reader, libavformat, in process: an ffprobe
// run per file would be most of this test's time), keys in lower case.
std::multimap<std::string, std::string> FfmpegTags(const std::string& path) {
    std::multimap<std::string, std::string> tags;
    const auto facts = ProbeMedia(path);
    for (const auto& [key, value] : facts ? facts->tags : std::map<std::string, std::string>{}) {
        // Several values of one key come joined by ';'.
        std::istringstream values(value);
        for (std::string one; std::getline(values, one, ';');) {
            tags.emplace(Lower(key), one);
        }
        tags.emplace(Lower(key), value);
    }
    return tags;
}

bool Holds(const std::multimap<std::string, std::string>& tags, const std::string& key,
           const std::string& value) {
    const auto [first, last] = tags.equal_range(key);
    for (auto at = first; at != last; ++at) {
        if (at->second == value) {
            return true;
        }
    }
    return false;
}

const char* FieldIn(const TagMapping& mapping, OutputFormat format) {
    return format == OutputFormat::MP3   ? mapping.id3v2
           : format == OutputFormat::OGG ? mapping.vorbis
                                         : mapping.asf;
}

// Every source kind into every format: each mapped field with its text, as two independent
// readers see it; the audio as it was without tags; nothing where the source had nothing.
TEST_F(TagCopy, EverySourceKindIntoEveryFormat) {
    struct Made {
        const SourceRow* row;
        OutputFormat format;
        std::string tagged;
        std::string plain;
    };
    std::vector<Made> made;
    const std::string carrier = Path("carrier.wav");
    MakeSource(Rows().back(), carrier);
    for (const SourceRow& row : Rows()) {
        const std::string source = Path(std::string(row.name) + row.extension);
        MakeSource(row, source);
        for (const OutputFormat format :
             {OutputFormat::MP3, OutputFormat::WMA, OutputFormat::OGG}) {
            const std::string stem = Path(std::string(row.name) + "_out");
            Made file{&row, format, stem + kExtensions[static_cast<int>(format)],
                      stem + "_plain" + kExtensions[static_cast<int>(format)]};
            if (std::string_view(row.extension) == ".wav") {
                Convert(source, file.tagged, format, true);
                Convert(source, file.plain, format, false);
            } else {
                // Until the batch reads FLAC and AIFF, their tags go onto a WAVE's conversion.
                Convert(carrier, file.plain, format, false);
                fs::copy_file(file.plain, file.tagged);
                std::string error;
                ASSERT_TRUE(WriteTags(file.tagged, format, ReadSourceTags(source), error)) << error;
            }
            made.push_back(file);
        }
    }
    std::vector<std::string> tagged;
    for (const Made& file : made) {
        tagged.push_back(file.tagged);
    }
    const auto mutagen = Mutagen(tagged);
    for (const Made& file : made) {
        SCOPED_TRACE(file.tagged);
        const auto probed = FfmpegTags(file.tagged);
        ASSERT_EQ(mutagen.count(file.tagged), 1u);
        const auto& inspected = mutagen.at(file.tagged);
        for (const TagMapping& mapping : kTagMappings) {
            const auto expected = file.row->expected.find(mapping.field);
            const std::string field = FieldIn(mapping, file.format);
            if (expected == file.row->expected.end()) {
                // The Ogg library's own placeholders ("Title Unknown") stay where the source
                // has nothing.
                const auto found = inspected.find(field);
                EXPECT_TRUE(file.format == OutputFormat::OGG || found == inspected.end() ||
                            found->second.empty())
                    << field << "=" << found->second;
                continue;
            }
            const std::string text =
                file.format == OutputFormat::WMA && mapping.field == TagField::Date
                    ? AsfYear(expected->second)
                    : expected->second;
            // mutagen prints an ID3v2 time stamp with a space where the frame holds a 'T'.
            std::string shown = text;
            if (file.format == OutputFormat::MP3 && mapping.field == TagField::Date &&
                shown.size() > 10) {
                shown[10] = ' ';
            }
            EXPECT_TRUE(Holds(inspected, field, shown)) << field << " " << shown;
            EXPECT_TRUE(Holds(probed, mapping.name, text) || Holds(probed, Lower(field), text))
                << mapping.name << " " << text;
        }
        const std::vector<uint8_t> bytes = ReadFileBytes(file.tagged);
        const std::vector<uint8_t> plain = ReadFileBytes(file.plain);
        // Ogg streams get a random serial number: only MP3 and WMA repeat their bytes.
        if (file.row->expected.empty() && file.format != OutputFormat::OGG) {
            EXPECT_EQ(bytes, plain) << "tags invented";
        } else if (file.format == OutputFormat::MP3) {
            ASSERT_GT(bytes.size(), 10u);
            ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
            const std::size_t tagSize =
                10 + (bytes[6] << 21 | bytes[7] << 14 | bytes[8] << 7 | bytes[9]);
            EXPECT_TRUE(std::vector<uint8_t>(bytes.begin() + static_cast<long>(tagSize),
                                             bytes.end()) == plain)
                << "the frames after the tag are not the frames without it";
        } else {
            const auto withTags = ProbeMedia(file.tagged);
            const auto without = ProbeMedia(file.plain);
            ASSERT_TRUE(withTags && without);
            EXPECT_EQ(withTags->samples, without->samples);
            if (file.row->expected.empty()) {
                EXPECT_EQ(withTags->tags, without->tags) << "tags invented";
            }
        }
    }
}

// INFO-style text as the file says, else UTF-8 when valid, else Windows-1252; always valid text.
TEST(ChunkText, DecodesByTheFileThenUtf8ThenWindows1252) {
    const struct {
        std::string bytes;
        int codePage;
        std::string text;
    } rows[] = {
        {"Caf\xc3\xa9 \xe6\x97\xa5\0junk", 0, "Café 日"},
        {"Caf\xe9 \x80", 0, "Café €"},
        {"\xef\xbb\xbf  Title \0", 0, "Title"},
        {"\xcf\xf0\xe8\xe2\xe5\xf2", 1251, "Привет"},
        {"Caf\xc3\xa9", 65001, "Café"},
        {"\x93q\x94\x81", 1252, "\xe2\x80\x9cq\xe2\x80\x9d\xef\xbf\xbd"},
        {std::string("\0\0", 2), 0, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DecodeChunkText(row.bytes, row.codePage), row.text) << row.bytes;
    }
}

// The batch copies tags unless told not to, and a tag that cannot be written fails the file
// without leaving an output behind.
TEST_F(TagCopy, BatchCopiesUnlessToldAndFailsWholeOrAbsent) {
    const std::string source = Path("all.wav");
    MakeSource(Rows()[3], source);
    const std::string batch = platform::ProgramDir() + "sonvert-batch";
    const auto run = [&](const std::string& prefix, const std::string& options,
                         const std::string& folder) {
        return Capture(prefix + "'" + batch + "' -f mp3 -o '" + Path(folder) + "' " + options +
                       " '" + source + "' 2>&1");
    };
    run("", "", "tagged");
    run("", "--no-tags", "plain");
    const auto tagged = ReadFileBytes(Path("tagged/all.mp3"));
    const auto plain = ReadFileBytes(Path("plain/all.mp3"));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(std::string(tagged.begin(), tagged.begin() + 3), "ID3");
    EXPECT_NE(std::string(plain.begin(), plain.begin() + 3), "ID3");

    // Room for the audio, not for the tag in front of it.
    const std::size_t blocks = (plain.size() + 511) / 512;
    const std::string said =
        run("trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; exec ", "", "full");
    EXPECT_NE(said.find("Can not write the file '" + Path("full/all.mp3") + "': File too large."),
              std::string::npos)
        << said;
    EXPECT_TRUE(fs::is_empty(Path("full"))) << "a half-written file was left behind";
}

}  // namespace
