// SPDX-License-Identifier: GPL-3.0-or-later
// sonvert-batch run as a program, the way a script runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "MediaProbe.h"
#include "ProgramDir.h"
#include "TestWave.h"

namespace fs = std::filesystem;

namespace {

struct BatchRun {
    int status = -1;
    std::vector<std::string> errorLines;
    std::string output;
};

struct RunOptions {
    std::string programDir = platform::ProgramDir();
    std::string input = "/dev/null";       // standard input
    uid_t user = 0;                        // as root: run as this user (and group) instead
    rlim_t processLimit = 0;               // with user: at most this many processes and threads
    std::vector<std::string> environment;  // NAME=VALUE, over the test's own
    int errorFd = -1;                      // standard error, when not the file
};

// The sanitizers' options as another user can use them: a suppressions file they name, perhaps in
// a folder that user cannot enter, is copied into `folder`. A sanitizer that cannot read its
// suppressions ends the program before it starts.
std::vector<std::string> SanitizerOptionsFor(const fs::path& folder) {
    std::vector<std::string> entries;
    for (const std::string name : {"TSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = std::getenv(name.c_str());
        std::string options = value == nullptr ? "" : value;
        const auto at = options.find("suppressions=");
        if (at != std::string::npos) {
            const auto start = at + std::string("suppressions=").size();
            const auto length = options.find_first_of(" :", start) - start;
            const fs::path copy = folder / (name + ".supp");
            fs::copy_file(options.substr(start, length), copy,
                          fs::copy_options::overwrite_existing);
            options.replace(start, length, copy.string());
            entries.push_back(name + "=" + options);
        }
    }
    return entries;
}

// Starts the program in `dir`, with standard output and error going to files there.
pid_t StartBatch(const std::vector<std::string>& arguments, const fs::path& dir,
                 const RunOptions& options = {}) {
    const std::string program = options.programDir + "sonvert-batch";
    const std::string out = (dir / "stdout.txt").string();
    const std::string err = (dir / "stderr.txt").string();
    std::vector<std::string> all = {program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = options.environment;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(options.input.c_str(), O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = options.errorFd >= 0
                          ? options.errorFd
                          : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 ||
            ::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        const rlimit limit{options.processLimit, options.processLimit};
        if (options.user != 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(options.user) != 0 ||
             (options.processLimit != 0 && ::setrlimit(RLIMIT_NPROC, &limit) != 0) ||
             ::setuid(options.user) != 0)) {
            ::_exit(125);
        }
        for (std::string& entry : environment) {
            ::putenv(entry.data());
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// What a run that has ended left: its status as waitpid(2) gave it, and its output.
BatchRun ReadBatch(int status, const fs::path& dir) {
    BatchRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(dir / "stderr.txt");
    for (std::string line; std::getline(err, line);) {
        run.errorLines.push_back(line);
    }
    std::ifstream out(dir / "stdout.txt");
    run.output.assign(std::istreambuf_iterator<char>(out), {});
    return run;
}

BatchRun FinishBatch(pid_t pid, const fs::path& dir) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
        return {};
    }
    return ReadBatch(status, dir);
}

BatchRun RunBatch(const std::vector<std::string>& arguments, const fs::path& dir,
                  const std::string& programDir = platform::ProgramDir(),
                  const std::vector<std::string>& environment = {}) {
    RunOptions options;
    options.programDir = programDir;
    options.environment = environment;
    return FinishBatch(StartBatch(arguments, dir, options), dir);
}

// A locale that writes numbers with a decimal comma, made in `folder` for LOCPATH, whatever
// locales the system holds.
std::vector<std::string> DecimalCommaLocale(const fs::path& folder) {
    fs::create_directories(folder);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return {"LOCPATH=" + folder.string(), "LC_ALL=de_DE.UTF-8"};
}

// The report's lines, each parsed as JSON.
std::vector<QJsonObject> ReadReport(const fs::path& path) {
    std::vector<QJsonObject> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        lines.push_back(document.object());
    }
    return lines;
}

// The staged outputs' temporaries left in a folder tree.
std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().filename().string().find(".sonvert-") != std::string::npos) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

std::string Field(const QJsonObject& line, const char* name) {
    return line.value(QString::fromLatin1(name)).toString().toStdString();
}

class SonvertBatch : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("sonvert-batch-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(SonvertBatch, ConvertsTheGoodFilesAndReportsEachBadOneOnOneLine) {
    ASSERT_TRUE(testwave::WriteTone(Path("one.wav"), {1, 2, 44100, 16}, 22050));
    ASSERT_TRUE(testwave::WriteTone(Path("two.wav"), {1, 1, 22050, 8}, 11025));
    {
        std::ofstream text(Path("notes.wav"));
        text << "this is not a sound file at all, just some text\n";
    }
    // The float and 24-bit files that the windows refuse are rows of
    // ClassicInputRefusesWhatTheWindowsRefuse: sonvert-batch converts them by default.
    const BatchRun run = RunBatch({"--format", "ogg", "--output-dir", Path("out"), Path("one.wav"),
                                   Path("missing.wav"), Path("notes.wav"), Path("two.wav")},
                                  dir_);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "one.ogg"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "two.ogg"));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "missing.ogg"));
    const auto one = ProbeMedia(Path("out/one.ogg"));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->codec, "vorbis");

    // One line per failed file, in the order the parallel jobs finish them, then the summary.
    ASSERT_EQ(run.errorLines.size(), 3u);
    const std::vector<std::string> failures(run.errorLines.begin(), run.errorLines.begin() + 2);
    EXPECT_THAT(failures,
                ::testing::Contains("Error: Could not open '" + Path("missing.wav") + "'"));
    EXPECT_THAT(failures,
                ::testing::Contains(::testing::AllOf(::testing::HasSubstr(": "),
                                                     ::testing::HasSubstr(Path("notes.wav")))));
    EXPECT_EQ(run.errorLines[2], "sonvert-batch: 2 of 4 files converted");
    EXPECT_EQ(run.output, "") << "nothing but --help writes to standard output";
}

TEST_F(SonvertBatch, ExitsWithZeroWhenEveryFileConverts) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 2, 44100, 16}, 44100));
    ASSERT_TRUE(testwave::WriteTone(Path("b.wav"), {1, 1, 8000, 16}, 8000));
    const BatchRun run = RunBatch(
        {"-f", "mp3", "--mp3-bitrate-index=6", "--mp3-crc", Path("a.wav"), Path("b.wav")}, dir_);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.errorLines.size(), 1u);
    EXPECT_EQ(run.errorLines[0], "sonvert-batch: 2 of 2 files converted");
    // Beside the source, with the options of the command line.
    const std::vector<uint8_t> bytes = ReadFileBytes(Path("a.mp3"));
    std::size_t consumed = 0;
    const auto frames = ReadMp3Frames(bytes, &consumed);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().bitrate, 320);
    EXPECT_TRUE(frames.front().crc);
    const auto b = ReadMp3Frames(ReadFileBytes(Path("b.mp3")), &consumed);
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.front().bitrate, 64) << "8,000 Hz carries at most 64 kbit/s";
}

// The parallel MP3 encoder's stream, its Info frame included, is the same on any number of
// threads, and exactly as long as its source.
TEST_F(SonvertBatch, LongMp3IsTheSameOnAnyNumberOfThreads) {
    const uint32_t frames = 768 * 1152 * 11 / 5;  // a little over two of the library's segments
    ASSERT_TRUE(testwave::WriteTone(Path("long.wav"), {1, 2, 44100, 16}, frames, 0.5, 997.0));
    std::vector<std::vector<uint8_t>> outputs;
    for (const std::string threads : {"2", "3"}) {
        const BatchRun run = RunBatch({"--mp3-crc", "-o", Path(threads), Path("long.wav")}, dir_,
                                      platform::ProgramDir(), {"SONVERT_MP3_THREADS=" + threads});
        ASSERT_EQ(run.status, 0);
        outputs.push_back(ReadFileBytes(Path(threads + "/long.mp3")));
    }
    EXPECT_TRUE(outputs[0] == outputs[1]) << "the bytes depend on the thread count";
    EXPECT_EQ(Mp3InfoFault(outputs[0]), "");
    const auto facts = ProbeMedia(Path("2/long.mp3"));
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->decodedFrames, frames);
    EXPECT_EQ(Mp3valFaults(Path("2/long.mp3")), "");
}

// An encoder library that cannot finish its stream loses the end of the file: that file failed.
TEST_F(SonvertBatch, ExitsWithOneWhenAnEncoderCannotFinish) {
    const fs::path program = dir_ / "program";
    fs::create_directories(program);
    fs::copy_file(platform::ProgramDir() + "sonvert-batch", program / "sonvert-batch");
    for (const char* library : {"lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
        fs::copy_file(fs::path(SONVERT_DOUBLES_DIR) / "fail_close" / library, program / library);
    }
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 2, 44100, 16}, 4410));
    const std::pair<const char*, std::string> cases[] = {
        {"mp3", "Lame Encoder: Can not write the file '" + Path("a.mp3") + "'."},
        {"ogg", "vorbis: Failed to close the encoder stream."},
        {"wma", "WMA Audio SDK: Can not write the file '" + Path("a.wma") + "'."},
    };
    for (const auto& [format, message] : cases) {
        SCOPED_TRACE(format);
        const std::string output = Path(std::string("a.") + format);
        std::ofstream(output) << "mine";
        const BatchRun run = RunBatch({"-f", format, Path("a.wav")}, dir_, program.string() + "/");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errorLines,
                  (std::vector<std::string>{message + " (" + Path("a.wav") + ")",
                                            "sonvert-batch: 0 of 1 files converted"}));
        std::ifstream kept(output);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine")
            << "a failed file leaves an earlier output as it was";
        EXPECT_EQ(Temporaries(dir_), std::vector<std::string>{});
    }
}

TEST_F(SonvertBatch, UsageErrorsExitWithTwoAndConvertNothing) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 2, 44100, 16}, 4410));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--format", "flac", Path("a.wav")},
        {"--wma-bitrate-index", "9", Path("a.wav")},
        {"--no-such-option", Path("a.wav")},
        {"-o", Path("a.wav") + "/out", Path("a.wav")},  // an output folder that cannot be made
        // Lists that would list nothing, or never end (/dev/zero): neither a file nor a pipe.
        {"--files-from", dir_.string(), Path("a.wav")},
        {"--files-from", "/dev/null", Path("a.wav")},
    };
    for (const auto& arguments : bad) {
        const BatchRun run = RunBatch(arguments, dir_);
        EXPECT_EQ(run.status, 2);
        ASSERT_FALSE(run.errorLines.empty());
        EXPECT_EQ(run.errorLines[0].rfind("sonvert-batch: ", 0), 0u) << run.errorLines[0];
        EXPECT_EQ(run.errorLines.size(), arguments.empty() || arguments[0] != "-o" ? 2u : 1u);
    }
    EXPECT_FALSE(fs::exists(dir_ / "a.mp3"));
    EXPECT_FALSE(fs::exists(dir_ / "a.flac"));
}

TEST_F(SonvertBatch, HelpGoesToStandardOutput) {
    const BatchRun run = RunBatch({"--help"}, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Usage: sonvert-batch [options] FILE|FOLDER..."), std::string::npos);
    EXPECT_TRUE(run.errorLines.empty());
}

}  // namespace

// A settings file beside the program gives the starting values; the command line overrides them,
// and the file is never written.
TEST_F(SonvertBatch, StartsFromTheSettingsFileBesideIt) {
    const fs::path program = dir_ / "program";
    fs::create_directories(program);
    for (const char* file : {"sonvert-batch", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
        fs::copy_file(platform::ProgramDir() + file, program / file);
    }
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 2, 44100, 16}, 4410));
    struct Case {
        const char* name;
        std::string settings;
        std::vector<std::string> options;
        std::string expectedOutput;
        std::vector<std::string> expectedErrors;
        int mp3Kbps = 0;  // the stream's bitrate, when checked
    };
    const std::string general =
        "[General]\r\nOutputFormat=3\r\nCustomDir=1\r\nOutputDir=" + out.string() + "\r\n";
    const Case cases[] = {
        {"index_outside_its_list_takes_the_built_in_choice",
         "[General]\r\nOutputFormat=1\r\n[MP3]\r\nBitrate=9\r\n",
         {},
         Path("a.mp3"),
         {},
         128},
        {"file_values", general + "[OGG]\r\nQuality=2\r\n", {}, (out / "a.ogg").string(), {}},
        {"command_line_wins", general, {"-f", "wma", "--beside-source"}, Path("a.wma"), {}},
        {"bad_number_keeps_what_came_before",
         general + "[MP3]\r\nBitrate=fast\r\n",
         {},
         (out / "a.ogg").string(),
         {"sonvert-batch: 'fast' is not a valid integer value."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::ofstream ini(program / "Sonvert.ini", std::ios::binary | std::ios::trunc);
            ini << c.settings;
        }
        std::vector<std::string> arguments = c.options;
        arguments.push_back(Path("a.wav"));
        const BatchRun run = RunBatch(arguments, dir_, program.string() + "/");
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(fs::exists(c.expectedOutput));
        if (c.mp3Kbps != 0) {
            EXPECT_EQ(ProbeMedia(c.expectedOutput).value_or(MediaFacts{}).bitRate,
                      c.mp3Kbps * 1000);
        }
        fs::remove(c.expectedOutput);
        ASSERT_FALSE(run.errorLines.empty()) << "the summary line is missing";
        std::vector<std::string> errors(run.errorLines.begin(), run.errorLines.end() - 1);
        EXPECT_EQ(errors, c.expectedErrors);
        std::ifstream ini(program / "Sonvert.ini", std::ios::binary);
        std::stringstream after;
        after << ini.rdbuf();
        EXPECT_EQ(after.str(), c.settings) << "the batch tool never writes the settings file";
    }
}

// Several files at once give the very bytes of one at a time, and each message keeps its file.
TEST_F(SonvertBatch, ParallelJobsWriteWhatOneJobWrites) {
    const std::vector<std::string> names = {"a.wav", "b.wav", "notes.wav", "c.wav", "d.wav"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == "notes.wav") {
            std::ofstream(Path(names[i])) << "not a sound file\n";
        } else {
            ASSERT_TRUE(testwave::WriteTone(Path(names[i]), {1, 2, 44100, 16},
                                            static_cast<uint32_t>(20000 + 15000 * i), 0.5,
                                            300.0 + 50.0 * static_cast<double>(i)));
        }
    }
    // The report stays JSON under a locale that writes "0,412".
    const std::vector<std::string> decimalComma = DecimalCommaLocale(dir_ / "locales");
    for (const char* format : {"mp3", "wma"}) {
        SCOPED_TRACE(format);
        for (const char* jobs : {"1", "3"}) {
            const fs::path out = dir_ / (std::string(format) + jobs);
            fs::create_directories(out);
            std::vector<std::string> arguments = {
                "-f", format,       "-j",       jobs,
                "-o", out.string(), "--report", (out / "report.jsonl").string()};
            for (const std::string& name : names) {
                arguments.push_back(Path(name));
            }
            const BatchRun run =
                RunBatch(arguments, dir_, platform::ProgramDir(),
                         std::string(jobs) == "3" ? decimalComma : std::vector<std::string>{});
            EXPECT_EQ(run.status, 1);
            ASSERT_EQ(run.errorLines.size(), 2u);
            EXPECT_NE(run.errorLines[0].find(Path("notes.wav")), std::string::npos)
                << run.errorLines[0];
            EXPECT_EQ(run.errorLines[1], "sonvert-batch: 4 of 5 files converted");

            const std::vector<QJsonObject> report = ReadReport(out / "report.jsonl");
            ASSERT_EQ(report.size(), names.size());
            for (std::size_t i = 0; i < names.size(); ++i) {
                EXPECT_EQ(Field(report[i], "source"), Path(names[i]));
                const bool bad = names[i] == "notes.wav";
                EXPECT_EQ(Field(report[i], "outcome"), bad ? "failed" : "converted");
                EXPECT_EQ(report[i].value("messages").toArray().size(), bad ? 1 : 0);
            }
        }
        for (const std::string name : {"a", "b", "c", "d"}) {
            const std::string file = name + "." + format;
            const auto one = ReadFileBytes((dir_ / (std::string(format) + "1") / file).string());
            ASSERT_FALSE(one.empty()) << file;
            EXPECT_EQ(one, ReadFileBytes((dir_ / (std::string(format) + "3") / file).string()))
                << file;
        }
    }
}

// N shards of one list, read NUL-separated from standard input, convert every file exactly once;
// with --no-clobber an existing output is left alone and its source counts as not converted.
TEST_F(SonvertBatch, ShardsSplitOneListAndNoClobberSkips) {
    std::string list;
    for (int i = 0; i < 7; ++i) {
        const std::string name = Path("f" + std::to_string(i) + ".wav");
        ASSERT_TRUE(testwave::WriteTone(name, {1, 1, 22050, 16}, 2205));
        list += name + '\0';
    }
    std::ofstream(Path("list"), std::ios::binary) << list;
    std::ofstream(Path("f5.mp3")) << "mine";
    std::multiset<std::string> seen;
    int skipped = 0;
    for (int k = 1; k <= 3; ++k) {
        const fs::path report = dir_ / ("report" + std::to_string(k));
        RunOptions options;
        options.input = Path("list");
        const BatchRun run =
            FinishBatch(StartBatch({"-0", "--files-from", "-", "-n", "--shard",
                                    std::to_string(k) + "/3", "--report", report.string()},
                                   dir_, options),
                        dir_);
        std::vector<std::string> order;
        for (const QJsonObject& line : ReadReport(report)) {
            order.push_back(Field(line, "source"));
            seen.insert(order.back());
            skipped += Field(line, "outcome") == "skipped";
            EXPECT_TRUE(fs::exists(Field(line, "output")));
        }
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << "list order";
        EXPECT_EQ(run.status, k == 3 ? 1 : 0) << "f5 is in the third shard";
    }
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 7u);
    EXPECT_EQ(skipped, 1);
    std::ifstream kept(Path("f5.mp3"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine");
}

// A report that cannot be written is said once, and the files are converted all the same.
TEST_F(SonvertBatch, AReportThatCannotBeWrittenIsSaidOnce) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 1, 22050, 16}, 2205));
    ASSERT_TRUE(testwave::WriteTone(Path("b.wav"), {1, 1, 22050, 16}, 2205));
    const BatchRun run = RunBatch({"--report", "/dev/full", Path("a.wav"), Path("b.wav")}, dir_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{
                  "sonvert-batch: could not write the report '/dev/full': No space left on device",
                  "sonvert-batch: 2 of 2 files converted"}));
    EXPECT_TRUE(fs::exists(Path("b.mp3")));
}

// A reader that has gone fails the write: for the report one line says so, for the console
// nothing; every file is converted all the same.
TEST_F(SonvertBatch, ClosedPipesNeverEndTheRun) {
    for (const std::string name : {"a", "long", "b"}) {
        ASSERT_TRUE(testwave::WriteTone(Path(name + ".wav"), {1, 1, 22050, 16},
                                        name == "long" ? 661500 : 2205));
    }
    ASSERT_EQ(::mkfifo(Path("report").c_str(), 0600), 0);
    std::thread reader([this] {  // gone after the first line, as `head -n1` is
        const int fd = ::open(Path("report").c_str(), O_RDONLY);
        for (char c = 0; ::read(fd, &c, 1) == 1 && c != '\n';) {
        }
        ::close(fd);
    });
    BatchRun run = RunBatch({"-j1", "-o", Path("out"), "--report", Path("report"), Path("a.wav"),
                             Path("long.wav"), Path("b.wav")},
                            dir_);
    reader.join();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{
                  "sonvert-batch: could not write the report '" + Path("report") + "': Broken pipe",
                  "sonvert-batch: 3 of 3 files converted"}));
    int console[2];
    ASSERT_EQ(::pipe(console), 0);
    ::close(console[0]);
    RunOptions options;
    options.errorFd = console[1];
    run = FinishBatch(StartBatch({"-j1", Path("missing.wav"), Path("a.wav")}, dir_, options), dir_);
    ::close(console[1]);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(Path("a.mp3")));
}

// Every name the folder holds converts, however long; a list line with a NUL byte and a rate that
// the MP3 encoder cannot take fail alone, each with one line.
TEST_F(SonvertBatch, LongNamesConvertAndUnfitEntriesFailAlone) {
    using namespace std::string_literals;
    const std::string cjk = QString::fromUtf8("東").repeated(80).toStdString();
    const std::string lame = "Lame Encoder: Could not initialize Lame encoder";
    const struct {
        std::string name;  // listed with ".wav"
        uint32_t rate;     // of the file written for it, 0 for none
        std::string line;  // what the console says of it, "" when it converts
    } cases[] = {
        {std::string(251, 'b'), 22050, ""},  // a 255-byte output name
        {cjk, 22050, ""},
        {"a.wav\0/b"s, 0,
         "sonvert-batch: line 3 of the list '" + Path("list") + "' holds a NUL byte; '" +
             Path("a.wav") + "\\x00/b.wav' is not converted"},
        {"2p31", 2147483648u, lame},
        {"3e9", 3000000000u, lame},
    };
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 1, 22050, 16}, 2205));
    std::string list;
    std::vector<std::string> lines;
    for (const auto& c : cases) {
        const std::string entry = Path(c.name) + ".wav";
        ASSERT_TRUE(c.rate == 0 ||
                    testwave::WriteRaw(entry, {1, 1, c.rate, 16}, std::vector<uint8_t>(8820, 1)));
        list += entry + "\n";
        if (!c.line.empty()) {
            lines.push_back(c.line + (c.rate == 0 ? "" : " (" + entry + ")"));
        }
    }
    std::ofstream(Path("list"), std::ios::binary) << list;
    const BatchRun run = RunBatch({"-j1", "-o", Path("out"), "--files-from", Path("list")}, dir_);
    EXPECT_EQ(run.status, 1);
    lines.push_back("sonvert-batch: 2 of 5 files converted");
    EXPECT_EQ(run.errorLines, lines);
    EXPECT_TRUE(ProbeMedia(Path("out/" + cases[0].name + ".mp3")));
    EXPECT_TRUE(ProbeMedia(Path("out/" + cjk + ".mp3")));
    EXPECT_FALSE(fs::exists(Path("out/b.mp3"))) << "named after the part past the NUL byte";
}

TEST_F(SonvertBatch, RefusesTwoSourcesForOneOutputBeforeStarting) {
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    ASSERT_TRUE(testwave::WriteTone(Path("a/x.wav"), {1, 1, 22050, 16}, 2205));
    ASSERT_TRUE(testwave::WriteTone(Path("b/x.wav"), {1, 1, 22050, 16}, 2205));
    ASSERT_TRUE(testwave::WriteTone(Path("first.wav"), {1, 1, 22050, 16}, 2205));
    const std::vector<std::vector<std::string>> cases = {
        {"-o", Path("b"), Path("first.wav"), Path("a/x.wav"), Path("b/x.wav")},
        {"-o", Path("c"), Path("first.wav"), Path("a/x.wav"), Path("b/x.wav")},
    };
    for (const auto& arguments : cases) {
        const BatchRun run = RunBatch(arguments, dir_);
        EXPECT_EQ(run.status, 2);
        ASSERT_EQ(run.errorLines.size(), 1u);
        EXPECT_NE(run.errorLines[0].find("would both be written"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir_ / "first.mp3"));
        EXPECT_FALSE(fs::exists(dir_ / "b" / "first.mp3"));
    }
}

// A first interrupt lets the running files finish and starts no other; a second one, a termination
// (a scheduler's time limit) or a hang-up stops them at once and leaves no output behind. Either
// way every line of the report is written and the summary printed.
TEST_F(SonvertBatch, SignalsStopTheBatchAsTheySay) {
    const struct {
        std::vector<int> sent;
        const char* running;  // the outcome of the files running when the signal came
    } cases[] = {
        {{SIGINT}, "converted"},
        {{SIGINT, SIGINT}, "stopped"},
        {{SIGTERM}, "stopped"},
        {{SIGHUP}, "stopped"},
    };
    // Three minutes each, one encoder a stream: the first file runs for a good second after its
    // temporary appears, however fast the machine.
    std::vector<std::string> sources;
    for (int i = 0; i < 3; ++i) {
        sources.push_back(Path("long" + std::to_string(i) + ".wav"));
        ASSERT_TRUE(testwave::WriteTone(sources.back(), {1, 2, 44100, 16}, 44100 * 180));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent.size() == 2 ? "two interrupts" : strsignal(c.sent[0]));
        fs::remove_all(dir_ / "out");
        std::vector<std::string> arguments = {"-j",        "1",        "-o",
                                              Path("out"), "--report", Path("report")};
        arguments.insert(arguments.end(), sources.begin(), sources.end());
        RunOptions options;
        options.environment = {"SONVERT_MP3_THREADS=1"};
        const auto ErrorText = [this] {
            std::ifstream in(dir_ / "stderr.txt");
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        const pid_t pid = StartBatch(arguments, dir_, options);
        while (!fs::exists(dir_ / "out") || Temporaries(dir_ / "out").empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (std::size_t i = 0; i < c.sent.size(); ++i) {
            ::kill(pid, c.sent[i]);
            // Two signals sent together could arrive as one: the second waits for the first's note.
            while (i + 1 < c.sent.size() && ErrorText().find("interrupted") == std::string::npos) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        const BatchRun run = FinishBatch(pid, dir_);
        EXPECT_EQ(run.status, 1);
        ASSERT_FALSE(run.errorLines.empty());
        EXPECT_THAT(run.errorLines.back(), ::testing::EndsWith(" of 3 files converted"));
        EXPECT_EQ(Temporaries(dir_ / "out"), std::vector<std::string>{});
        const std::vector<QJsonObject> report = ReadReport(Path("report"));
        ASSERT_EQ(report.size(), 3u);
        EXPECT_EQ(Field(report[0], "outcome"), c.running);
        EXPECT_EQ(Field(report[2], "outcome"), "stopped") << "never started";
        for (const QJsonObject& line : report) {
            const bool converted = Field(line, "outcome") == "converted";
            EXPECT_EQ(fs::exists(Field(line, "output")), converted) << Field(line, "source");
            if (converted) {
                const auto media = ProbeMedia(Field(line, "output"));
                ASSERT_TRUE(media);
                EXPECT_GE(media->decodedFrames, 44100 * 180) << "whole";
            }
        }
    }
}

// Before the first file starts the program may wait for ever: for a report FIFO's reader, for a
// list that a pipe never ends. A signal ends the wait at once, with the summary.
TEST_F(SonvertBatch, ASignalEndsTheWaitsBeforeTheFirstFile) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 1, 22050, 16}, 2205));
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const struct {
        std::vector<std::string> arguments;
        int signal;
        const char* summary;
    } cases[] = {
        {{"--report", Path("fifo"), Path("a.wav")}, SIGTERM, "0 of 1"},
        {{"--files-from", Path("fifo"), Path("a.wav")}, SIGHUP, "0 of 1"},
        {{"--files-from", "-"}, SIGINT, "0 of 0"},  // the FIFO, which a writer holds open
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        const bool input = c.arguments[1] == "-";
        const int writer = input ? ::open(Path("fifo").c_str(), O_RDWR) : -1;
        RunOptions options;
        options.input = input ? Path("fifo") : "/dev/null";
        const pid_t pid = StartBatch(c.arguments, dir_, options);
        // Sent once it waits in open(2), or in read(2) of standard input, twice in a row.
        for (int seen = 0, tries = 0; seen < 2 && ++tries < 1000;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
            std::string call;
            std::getline(in, call);
            seen = call.rfind("257 ", 0) == 0 || call.rfind("0 0x0 ", 0) == 0 ? seen + 1 : 0;
        }
        ::kill(pid, c.signal);
        const auto sent = std::chrono::steady_clock::now();
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - sent > std::chrono::seconds(5)) {
                ::kill(pid, SIGKILL);  // still waiting
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
        ::close(writer);
        const BatchRun run = ReadBatch(status, dir_);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errorLines.back(),
                  "sonvert-batch: " + std::string(c.summary) + " files converted");
    }
}

// Temporaries that a killed run left behind go when a later run writes the same output; one that a
// running writer holds, or that belongs to another output, stays.
TEST_F(SonvertBatch, AbandonedTemporariesGoAndHeldOnesStay) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 1, 22050, 16}, 2205));
    for (const char* name :
         {".a.mp3.sonvert-Killed", ".a.mp3.sonvert-Living", ".b.mp3.sonvert-Killed"}) {
        std::ofstream(Path(name)) << "partial";
    }
    const int held = ::open(Path(".a.mp3.sonvert-Living").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const BatchRun run = RunBatch({Path("a.wav")}, dir_);
    ::close(held);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(Path("a.mp3")));
    std::vector<std::string> left = Temporaries(dir_);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{Path(".a.mp3.sonvert-Living"),
                                              Path(".b.mp3.sonvert-Killed")}));

    // An output name too long for the usual temporary gets a short one, which is found as well.
    fs::create_directories(dir_ / "long");
    const std::string source = Path("long/" + std::string(251, 'b') + ".wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 1, 22050, 16}, 22050 * 30));
    RunOptions options;
    options.environment = {"SONVERT_MP3_THREADS=1"};
    const pid_t pid = StartBatch({source}, dir_, options);
    int status = 0;
    while (Temporaries(dir_ / "long").empty() && ::waitpid(pid, &status, WNOHANG) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    left = Temporaries(dir_ / "long");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(RunBatch({source}, dir_).status, 0);
    EXPECT_EQ(Temporaries(dir_ / "long"), std::vector<std::string>{});
}

// A file reached twice (listed twice, or in a folder given with one of its subfolders) is
// converted once, with one note.
TEST_F(SonvertBatch, ASourceReachedTwiceIsConvertedOnce) {
    for (const char* track : {"music/top.wav", "music/rock/a.wav", "music/rock/b.wav"}) {
        fs::create_directories((dir_ / track).parent_path());
        ASSERT_TRUE(testwave::WriteTone(Path(track), {1, 1, 22050, 16}, 2205));
    }
    const BatchRun run =
        RunBatch({"-r", "-o", Path("out"), "--report", Path("report"), Path("music"),
                  Path("music/rock"), Path("music/rock/../top.wav")},
                 dir_);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.errorLines.size(), 2u);
    EXPECT_THAT(run.errorLines[0], ::testing::HasSubstr("3 sources were reached more than once"));
    EXPECT_EQ(run.errorLines[1], "sonvert-batch: 3 of 3 files converted");
    EXPECT_EQ(ReadReport(Path("report")).size(), 3u);
}

// With no more threads to be had the batch goes on with the workers it has, and with none every
// file fails with a message; it never waits for a worker that never started.
TEST_F(SonvertBatch, WorkersThatCannotStartNeverHangTheBatch) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as a user of its own with a process limit";
    }
    const fs::path program = dir_ / "program";
    fs::create_directories(program);
    for (const char* file : {"sonvert-batch", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
        fs::copy_file(platform::ProgramDir() + file, program / file);
    }
    std::vector<std::string> arguments = {"-j", "30", "-o", Path("out")};
    for (int i = 0; i < 6; ++i) {
        arguments.push_back(Path(std::to_string(i) + ".wav"));
        ASSERT_TRUE(testwave::WriteTone(arguments.back(), {1, 1, 22050, 16}, 2205));
    }
    // A user id of no one else's, so that no other process counts against the limit; the program
    // itself counts as one.
    RunOptions options;
    options.programDir = program.string() + "/";
    options.user = 54321;
    options.environment = SanitizerOptionsFor(program);
    for (const auto& [processes, summary] :
         {std::pair<rlim_t, const char*>{1, "sonvert-batch: 0 of 6 files converted"},
          std::pair<rlim_t, const char*>{3, "sonvert-batch: 6 of 6 files converted"}}) {
        SCOPED_TRACE(processes);
        fs::remove_all(dir_ / "out");
        fs::create_directories(dir_ / "out");
        fs::permissions(dir_ / "out", fs::perms::all);
        options.processLimit = processes;
        const BatchRun run = FinishBatch(StartBatch(arguments, dir_, options), dir_);
        ASSERT_FALSE(run.errorLines.empty());
        EXPECT_EQ(run.errorLines.back(), summary);
    }
}

// A music library converted into a tree of its own inside it, then again once it has grown.
TEST_F(SonvertBatch, MirrorsAFolderTree) {
    const fs::path lib = dir_ / "lib";
    const std::vector<std::string> tracks = {
        "Artist/Album1/01.wav", "Artist/Album2/01.wav", "Artist/Album2/02.WAV", "top.wav",
        ".hidden/h.wav",        "Artist/.h.wav",        "mp3/old.wav",          "Blocked/b.wav"};
    for (const std::string& track : tracks) {
        fs::create_directories((lib / track).parent_path());
        ASSERT_TRUE(testwave::WriteTone((lib / track).string(), {1, 1, 22050, 16}, 2205));
    }
    std::ofstream(lib / "notes.txt") << "not a track";
    fs::create_directory_symlink("..", lib / "Artist" / "loop");
    std::ofstream(lib / "mp3" / "Blocked") << "a file where a folder should go";
    auto outputs = [&lib] {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(lib / "mp3")) {
            if (entry.path().extension() == ".mp3") {
                found.insert(entry.path().lexically_relative(lib / "mp3").string());
            }
        }
        return found;
    };
    const std::vector<std::string> tree = {
        "-r",       "--keep-tree",  "-n",        "-o", (lib / "mp3").string(),
        "--report", Path("report"), lib.string()};
    BatchRun run = RunBatch(tree, dir_);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.errorLines.size(), 2u);
    EXPECT_EQ(
        run.errorLines[0].rfind(
            "Error: Could not create the folder '" + (lib / "mp3" / "Blocked").string() + "'", 0),
        0u)
        << run.errorLines[0];
    const std::set<std::string> first = {"Artist/Album1/01.mp3", "Artist/Album2/01.mp3",
                                         "Artist/Album2/02.mp3", "top.mp3"};
    EXPECT_EQ(outputs(), first);
    std::vector<std::string> sources;
    for (const QJsonObject& line : ReadReport(Path("report"))) {
        sources.push_back(fs::path(Field(line, "source")).lexically_relative(lib).string());
    }
    EXPECT_EQ(sources,
              std::vector<std::string>({"Artist/Album1/01.wav", "Artist/Album2/01.wav",
                                        "Artist/Album2/02.WAV", "Blocked/b.wav", "top.wav"}));

    fs::create_directories(lib / "Artist" / "Album3");
    ASSERT_TRUE(
        testwave::WriteTone((lib / "Artist/Album3/01.wav").string(), {1, 1, 22050, 16}, 2205));
    run = RunBatch(tree, dir_);
    EXPECT_EQ(run.errorLines.back(), "sonvert-batch: 1 of 6 files converted");
    EXPECT_EQ(outputs().count("Artist/Album3/01.mp3"), 1u);

    // Without -r only the folder's own files, and one line about the rest.
    fs::remove(lib / "top.mp3");
    run = RunBatch({lib.string()}, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(lib / "top.mp3"));
    ASSERT_EQ(run.errorLines.size(), 2u);
    EXPECT_NE(run.errorLines[0].find("holds subfolders"), std::string::npos);

    // -u converts again an output that is missing or older than its source, and skips the rest.
    fs::remove(lib / "mp3" / "top.mp3");
    const fs::path edited = lib / "Artist/Album1/01.wav";
    const fs::path stale = lib / "mp3/Artist/Album1/01.mp3";
    fs::last_write_time(stale, fs::last_write_time(edited) - std::chrono::hours(1));
    std::vector<std::string> update = tree;
    update[2] = "-u";
    run = RunBatch(update, dir_);
    EXPECT_EQ(run.errorLines.back(), "sonvert-batch: 2 of 6 files converted");
    EXPECT_EQ(
        std::count_if(run.errorLines.begin(), run.errorLines.end(),
                      [](const std::string& line) { return line.ends_with("skipped (--update)"); }),
        3);
    EXPECT_GE(fs::last_write_time(stale), fs::last_write_time(edited)) << "replaced";
    EXPECT_EQ(outputs().count("top.mp3"), 1u);
}

TEST_F(SonvertBatch, AnUnreadableFolderIsNamedAndTheRestConverted) {
    RunOptions options;
    options.user = ::geteuid() == 0 ? 65534 : 0;  // root reads every folder: be "nobody"
    const fs::path program = dir_ / "program";
    fs::create_directories(program);
    for (const char* file : {"sonvert-batch", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
        fs::copy_file(platform::ProgramDir() + file, program / file);
    }
    options.programDir = program.string() + "/";
    if (options.user != 0) {
        options.environment = SanitizerOptionsFor(program);
    }
    for (const char* track : {"lib/A/a.wav", "lib/B/b.wav"}) {
        fs::create_directories((dir_ / track).parent_path());
        ASSERT_TRUE(testwave::WriteTone(Path(track), {1, 1, 22050, 16}, 2205));
    }
    fs::create_directories(dir_ / "out");
    fs::permissions(dir_ / "out", fs::perms::all);
    fs::permissions(dir_ / "lib" / "B", fs::perms::none);
    const BatchRun run =
        FinishBatch(StartBatch({"-r", "-o", Path("out"), Path("lib")}, dir_, options), dir_);
    fs::permissions(dir_ / "lib" / "B", fs::perms::owner_all);
    if (run.status == 125) {
        GTEST_SKIP() << "running as root, and cannot become the user nobody to meet a folder that "
                        "cannot be read";
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "a.mp3"));
    ASSERT_EQ(run.errorLines.size(), 2u);
    EXPECT_EQ(
        run.errorLines[0].rfind("Error: Could not read the folder '" + Path("lib/B") + "'", 0), 0u)
        << run.errorLines[0];
    EXPECT_EQ(run.errorLines[1], "sonvert-batch: 1 of 1 files converted");
}

namespace {

std::string FileBytes(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Runs a shell command with the test's paths in place of {in} and {out}.
void Make(std::string command, const std::string& in, const std::string& out) {
    for (const auto& [word, path] : {std::pair{std::string("{in}"), in}, {"{out}", out}}) {
        if (const auto at = command.find(word); at != std::string::npos) {
            command.replace(at, word.size(), "'" + path + "'");
        }
    }
    command = "cd /tmp && " + command + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Ten seconds of two tones, noise and a click a second, a different mix in each channel.
void MakeTestSignal(const std::string& path) {
    Make(
        "ffmpeg -nostdin -v error -f lavfi -i "
        "\"aevalsrc=0.35*sin(2*PI*440*t)+0.1*sin(2*PI*5000*t)+0.05*(2*random(0)-1)"
        "+0.3*lt(mod(t\\,1)\\,0.0005)|0.3*sin(2*PI*660*t)+0.1*sin(2*PI*3000*t)"
        "+0.05*(2*random(1)-1):s=44100:d=10\" -fflags +bitexact -flags +bitexact "
        "-c:a pcm_s16le {out}",
        "", path);
}

double Correlation(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

// A recorder's JUNK and bext chunks before "fmt ", in front of a plain WAVE file's own.
void WriteChunksBeforeFormat(const std::string& plainPath, const std::string& path) {
    const std::string plain = FileBytes(plainPath);
    const std::string chunks = std::string("JUNK\x1c\0\0\0", 8) + std::string(28, '\0') +
                               std::string("bext\x5a\x02\0\0", 8) + std::string(602, 'b');
    const std::string body = "WAVE" + chunks + plain.substr(12);
    std::string riff = "RIFF    " + body;
    for (int i = 0; i < 4; ++i) {
        riff[4 + i] = static_cast<char>((body.size() >> (8 * i)) & 0xFF);
    }
    std::ofstream(path, std::ios::binary) << riff;
}

}  // namespace

// Every kind of source the second reader opens, made from one 16-bit signal by ffmpeg or sox and
// converted in one run: each output decodes strictly, lasts as long and sounds like the 16-bit
// file's own output, at the level its down-mix gives.
TEST_F(SonvertBatch, ConvertsEveryKindOfSourceLikeItsSixteenBitTwin) {
    const std::string ref = Path("ref.wav");
    MakeTestSignal(ref);
    struct Kind {
        const char* file;
        const char* make;  // empty: written here
        double gainDb;
    };
    const std::vector<Kind> kinds = {
        {"pcm24.wav", "sox {in} -b 24 -t wavpcm {out}", 0},
        {"pcm32.wav", "sox {in} -b 32 -e signed-integer -t wavpcm {out}", 0},
        {"float32.wav", "sox {in} -b 32 -e floating-point -t wavpcm {out}", 0},
        {"float64.wav", "sox {in} -b 64 -e floating-point -t wavpcm {out}", 0},
        {"extensible.wav", "ffmpeg -v error -i {in} -c:a pcm_s24le {out}", 0},
        {"bext-first.wav", "", 0},
        {"rf64.wav", "ffmpeg -v error -i {in} -c:a pcm_s24le -rf64 always {out}", 0},
        {"wave64.w64", "sox {in} -b 24 -t w64 {out}", 0},
        {"rifx.wav", "sox {in} -B -t wav {out}", 0},
        {"mulaw.wav", "ffmpeg -v error -i {in} -c:a pcm_mulaw {out}", 0},
        {"alaw.wav", "ffmpeg -v error -i {in} -c:a pcm_alaw {out}", 0},
        {"ima.wav", "ffmpeg -v error -i {in} -c:a adpcm_ima_wav {out}", 0},
        {"aiff24.aiff", "ffmpeg -v error -i {in} -c:a pcm_s24be {out}", 0},
        {"float.aifc", "ffmpeg -v error -i {in} -c:a pcm_f32be -f aiff {out}", 0},
        {"flac24.flac", "sox {in} -b 24 {out}", 0},
        // Front and back carry the signal, the LFE channel noise that the mix leaves out:
        // (1 + 0.7071) / 2.4142 of the signal, -3.01 dB.
        {"surround.wav",
         "ffmpeg -v error -i {in} -f lavfi -i anoisesrc=d=10:a=0.5 -filter_complex "
         "\"[0:a][1:a]amerge,pan=5.1|FL=c0|FR=c1|FC=0*c0|LFE=c2|BL=c0|BR=c1\" -c:a pcm_s16le {out}",
         -3.0103},
    };
    std::vector<std::string> arguments = {"-j", "2", "-o", Path("out"), ref};
    for (const Kind& kind : kinds) {
        arguments.push_back(Path(kind.file));
        if (*kind.make != '\0') {
            Make(kind.make, ref, arguments.back());
            continue;
        }
        Make("sox {in} -b 24 -t wavpcm {out}", ref, Path("plain24.wav"));
        WriteChunksBeforeFormat(Path("plain24.wav"), arguments.back());
    }
    const BatchRun run = RunBatch(arguments, dir_);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.errorLines.size(), 1u) << run.errorLines[0];
    const auto twin = ProbeMedia(Path("out/ref.mp3"));
    ASSERT_TRUE(twin);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.file);
        const std::string output = Path("out/" + fs::path(kind.file).stem().string() + ".mp3");
        EXPECT_EQ(StrictDecodeErrors(output), "");
        const auto media = ProbeMedia(output);
        ASSERT_TRUE(media);
        ASSERT_EQ(media->channels, 2);
        EXPECT_NEAR(static_cast<double>(media->decodedFrames),
                    static_cast<double>(twin->decodedFrames), 1152);
        for (int channel = 0; channel < 2; ++channel) {
            EXPECT_NEAR(20 * std::log10(media->rms[channel] / twin->rms[channel]), kind.gainDb,
                        0.2);
            EXPECT_GE(Correlation(media->samples[channel], twin->samples[channel]), 0.99);
        }
    }
}

// Float samples beyond full scale are clipped, and the file's line counts them.
TEST_F(SonvertBatch, SaysHowManyFloatSamplesWereClipped) {
    MakeTestSignal(Path("ref.wav"));
    Make("ffmpeg -v error -i {in} -af aformat=sample_fmts=flt,volume=2 -c:a pcm_f32le {out}",
         Path("ref.wav"), Path("loud.wav"));
    // Twice a 16-bit sample is beyond full scale where the sample is beyond half of it.
    const std::string ref = FileBytes(Path("ref.wav"));
    const std::size_t data = ref.find("data") + 8;
    int beyond = 0;
    for (std::size_t at = data; at + 1 < ref.size(); at += 2) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(ref[at]) |
                                                 (static_cast<uint8_t>(ref[at + 1]) << 8));
        beyond += std::abs(static_cast<int>(sample)) > 16384 ? 1 : 0;
    }
    ASSERT_GT(beyond, 0);
    const BatchRun run =
        RunBatch({"-f", "ogg", "--report", Path("report"), Path("loud.wav")}, dir_);
    EXPECT_EQ(run.status, 0);
    const std::string line = "Warning: " + std::to_string(beyond) +
                             " samples were beyond full scale and clipped (" + Path("loud.wav") +
                             ")";
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{line, "sonvert-batch: 1 of 1 files converted"}));
    const std::vector<QJsonObject> report = ReadReport(Path("report"));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].value("messages").toArray().at(0).toString().toStdString(), line);
    EXPECT_EQ(StrictDecodeErrors(Path("loud.ogg")), "");
}

// --classic-input refuses what the windows refuse, with their messages: the file list's probe
// first, then the worker's checks. Without it the same files convert.
TEST_F(SonvertBatch, ClassicInputRefusesWhatTheWindowsRefuse) {
    ASSERT_TRUE(testwave::WriteTone(Path("small.wav"), {1, 2, 44100, 16}, 4410));
    struct Row {
        const char* file;
        const char* make;
        std::string line;  // before " (path)"
    };
    const std::vector<Row> rows = {
        {"pcm24.wav", "sox {in} -b 24 -t wavpcm {out}", "sonvert-batch: Not PCM formats!"},
        {"float.wav", "sox {in} -e floating-point -t wavpcm {out}",
         "sonvert-batch: Not PCM formats!"},
        {"extensible24.wav", "ffmpeg -v error -i {in} -c:a pcm_s24le {out}",
         "sonvert-batch: Not PCM formats!"},
        {"extensible16.wav", "ffmpeg -v error -i {in} -ar 96000 -c:a pcm_s16le {out}",
         "Error: Can not handle compressed Wave file"},
        {"junk-first.wav", "", "ERROR: This is not a valid Wave file."},
        {"small.flac", "sox {in} {out}", "ERROR: This is not a valid Wave file."},
        {"six.wav", "", ""},
    };
    std::vector<std::string> files;
    for (const Row& row : rows) {
        files.push_back(Path(row.file));
        if (*row.make != '\0') {
            Make(row.make, Path("small.wav"), files.back());
        }
    }
    WriteChunksBeforeFormat(Path("small.wav"), Path("junk-first.wav"));
    ASSERT_TRUE(testwave::WriteTone(Path("six.wav"), {1, 6, 44100, 16}, 4410));

    std::vector<std::string> arguments = {"--classic-input", "-o", Path("classic")};
    arguments.insert(arguments.end(), files.begin(), files.end());
    BatchRun run = RunBatch(arguments, dir_);
    EXPECT_EQ(run.status, 1);
    for (const Row& row : rows) {
        const std::string line =
            row.line.empty() ? "Error: Could not convert '" + Path(row.file) +
                                   "': it has 6 channels; only mono and stereo files can be "
                                   "converted"
                             : row.line + " (" + Path(row.file) + ")";
        EXPECT_THAT(run.errorLines, ::testing::Contains(line));
    }
    EXPECT_EQ(run.errorLines.back(), "sonvert-batch: 0 of 7 files converted");

    arguments[0] = "-j2";
    run = RunBatch(arguments, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errorLines, std::vector<std::string>{"sonvert-batch: 7 of 7 files converted"});
}

// What neither reader can read is named in one line and fails; nothing hangs. A data chunk that
// claims more than the file holds, and a malformed chunk the library would choke on, still convert.
TEST_F(SonvertBatch, BadSourcesFailOnOneLineEach) {
    MakeTestSignal(Path("ref.wav"));
    Make("sox {in} -b 24 {out}", Path("ref.wav"), Path("whole.flac"));
    Make("sox {in} -b 24 -t wavpcm {out}", Path("ref.wav"), Path("claims4g.wav"));
    std::string bytes = FileBytes(Path("whole.flac"));
    std::ofstream(Path("truncated.flac"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    bytes = FileBytes(Path("claims4g.wav"));
    bytes.replace(4, 4, "\xF0\xFF\xFF\xFF");
    bytes.replace(bytes.find("data") + 4, 4, "\xF0\xFF\xFF\xFF");
    std::ofstream(Path("claims4g.wav"), std::ios::binary) << bytes;
    // A LIST chunk whose INFO entry claims more than the file holds, before the samples.
    const std::string list = std::string(
        "LIST\x10\0\0\0INFOINAM\xFF\xFF\xFF\x7F"
        "ABCD",
        24);
    bytes.insert(bytes.find("data"), list);
    std::ofstream(Path("bad-list.wav"), std::ios::binary) << bytes;
    std::ofstream(Path("empty.wav"));
    std::ofstream(Path("text.wav")) << "not a sound file at all, just some text\n";
    std::ofstream(Path("huge-format.wav"), std::ios::binary)
        << std::string("RIFF\x24\0\0\0WAVEfmt \xF0\xFF\xFF\xFF", 20) << std::string(16, '\1');
    ASSERT_TRUE(testwave::WriteTone(Path("ten.wav"), {1, 10, 8000, 16}, 800));
    // An extensible file whose LIST chunk covers its data chunk: libsndfile 1.2.0's sf_open never
    // returns on these 99 bytes (found by fuzzing the library alone).
    const std::string hang =
        "524946461804000057415645666d742028000000feff0200401f000080bb00002b0018001600180003000000"
        "0100000000001000800000aa00389b714c4953541a000000494e464f49ffff00f7ffffffb653463539370064"
        "617461c0592a003ac40022";
    std::ofstream loops(Path("loops.wav"), std::ios::binary);
    for (std::size_t at = 0; at < hang.size(); at += 2) {
        loops.put(static_cast<char>(std::stoi(hang.substr(at, 2), nullptr, 16)));
    }
    loops.close();
    ASSERT_EQ(::mkfifo(Path("fifo.wav").c_str(), 0600), 0);

    const std::vector<std::pair<const char*, std::string>> refused = {
        {"truncated.flac", "Error: Could not read '" + Path("truncated.flac") + "': "},
        {"empty.wav", "Error: Could not read '" + Path("empty.wav") + "': the file is empty"},
        {"text.wav", "Error: Could not read '" + Path("text.wav") +
                         "': it is not a WAVE, AIFF, FLAC or Ogg file"},
        {"huge-format.wav", "Error: Could not read '" + Path("huge-format.wav") +
                                "': its format chunk's size (4294967280 bytes) cannot be"},
        {"ten.wav", "Error: Could not convert '" + Path("ten.wav") + "': it has 10 channels;"},
        {"loops.wav", "Error: Could not read '" + Path("loops.wav") + "': it has no data chunk"},
        {"fifo.wav", "Error: This is not a valid Wave file (" + Path("fifo.wav") + ")"},
    };
    std::vector<std::string> arguments = {"-j2", "-o", Path("out"), Path("claims4g.wav"),
                                          Path("bad-list.wav")};
    for (const auto& [file, line] : refused) {
        arguments.push_back(Path(file));
    }
    const BatchRun run = RunBatch(arguments, dir_);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.errorLines.size(), refused.size() + 1);
    for (const auto& [file, line] : refused) {
        EXPECT_THAT(run.errorLines, ::testing::Contains(::testing::StartsWith(line)));
    }
    EXPECT_EQ(run.errorLines.back(), "sonvert-batch: 2 of 9 files converted");
    for (const char* output : {"out/claims4g.mp3", "out/bad-list.mp3"}) {
        const auto media = ProbeMedia(Path(output));
        ASSERT_TRUE(media) << output;
        EXPECT_NEAR(static_cast<double>(media->decodedFrames), 441000, 2304) << output;
    }
}

// A folder of WAVE, AIFF and FLAC files mirrored into MP3 files, once two of its names have
// stopped sharing one output; --classic-input takes the WAVE files alone.
TEST_F(SonvertBatch, ConvertsAFolderOfWaveAiffAndFlacFiles) {
    MakeTestSignal(Path("ref.wav"));
    fs::create_directories(dir_ / "lib" / "sub");
    const std::vector<std::pair<const char*, const char*>> tracks = {
        {"lib/a.wav", "sox {in} {out}"},
        {"lib/b.FLAC", "sox {in} -b 24 {out}"},
        {"lib/c.aiff", "sox {in} {out}"},
        {"lib/d.Wave", "sox {in} -b 24 -t wav {out}"},
        {"lib/sub/e.aifc", "sox {in} -t aifc {out}"},
        {"lib/sub/f.w64", "sox {in} -t w64 {out}"},
        {"lib/sub/g.rf64", "ffmpeg -v error -i {in} -rf64 always -f wav {out}"},
        {"lib/a.flac", "sox {in} {out}"},
    };
    for (const auto& [track, make] : tracks) {
        Make(make, Path("ref.wav"), Path(track));
    }
    std::ofstream(Path("lib/notes.txt")) << "not a track";
    const std::vector<std::string> tree = {"-r", "--keep-tree", "-o", Path("out"), Path("lib")};
    BatchRun run = RunBatch(tree, dir_);
    EXPECT_EQ(run.status, 2);
    ASSERT_EQ(run.errorLines.size(), 1u);
    EXPECT_THAT(run.errorLines[0], ::testing::HasSubstr("would both be written"));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "b.mp3"));

    fs::remove(Path("lib/a.flac"));
    run = RunBatch(tree, dir_);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errorLines, std::vector<std::string>{"sonvert-batch: 7 of 7 files converted"});
    for (const char* output : {"a", "b", "c", "d", "sub/e", "sub/f", "sub/g"}) {
        const std::string path = Path("out/" + std::string(output) + ".mp3");
        EXPECT_EQ(StrictDecodeErrors(path), "") << path;
    }
    run = RunBatch({"-r", "--classic-input", "-o", Path("classic"), Path("lib")}, dir_);
    EXPECT_EQ(run.errorLines, std::vector<std::string>{"sonvert-batch: 1 of 1 files converted"});
}
