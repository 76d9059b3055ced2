// sonvert-batch run as a program, the way a script runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

BatchRun RunBatch(const std::vector<std::string>& arguments, const fs::path& dir,
                  const std::string& programDir = platform::ProgramDir()) {
    const fs::path errors = dir / "stderr.txt";
    std::string command = Quote(programDir + "sonvert-batch");
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    command += " 2>" + Quote(errors.string()) + " </dev/null";
    BatchRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        run.output.append(chunk.data(), got);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errors);
    for (std::string line; std::getline(in, line);) {
        run.errorLines.push_back(line);
    }
    return run;
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
    // IEEE float samples: a WAVE file, but not PCM.
    ASSERT_TRUE(
        testwave::WriteRaw(Path("float.wav"), {3, 2, 44100, 32}, std::vector<uint8_t>(8000, 0)));
    fs::create_directories(dir_ / "out");

    const BatchRun run =
        RunBatch({"--format", "ogg", "--output-dir", Path("out"), Path("one.wav"),
                  Path("missing.wav"), Path("notes.wav"), Path("float.wav"), Path("two.wav")},
                 dir_);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "one.ogg"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "two.ogg"));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "missing.ogg"));
    const auto one = ProbeMedia(Path("out/one.ogg"));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->codec, "vorbis");

    // One line per failed file, then the summary.
    ASSERT_EQ(run.errorLines.size(), 4u);
    EXPECT_EQ(run.errorLines[0], "Error: Could not open '" + Path("missing.wav") + "'");
    for (int i : {1, 2}) {
        EXPECT_NE(run.errorLines[i].find(": "), std::string::npos) << run.errorLines[i];
    }
    EXPECT_EQ(run.errorLines[3], "sonvert-batch: 2 of 5 files converted");
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

TEST_F(SonvertBatch, UsageErrorsExitWithTwoAndConvertNothing) {
    ASSERT_TRUE(testwave::WriteTone(Path("a.wav"), {1, 2, 44100, 16}, 4410));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--format", "flac", Path("a.wav")},
        {"--wma-bitrate-index", "9", Path("a.wav")},
        {"--no-such-option", Path("a.wav")},
    };
    for (const auto& arguments : bad) {
        const BatchRun run = RunBatch(arguments, dir_);
        EXPECT_EQ(run.status, 2);
        ASSERT_FALSE(run.errorLines.empty());
        EXPECT_EQ(run.errorLines[0].rfind("sonvert-batch: ", 0), 0u) << run.errorLines[0];
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
    };
    const std::string general =
        "[General]\r\nOutputFormat=3\r\nCustomDir=1\r\nOutputDir=" + out.string() + "\r\n";
    const Case cases[] = {
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
