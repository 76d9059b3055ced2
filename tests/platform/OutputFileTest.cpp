// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "OutputFile.h"
#include "StagedOutput.h"

namespace {
std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

TEST(OutputFile, CreatesOrEmptiesThenAppends) {
    const auto path = std::filesystem::temp_directory_path() / "sonvert-outputfile-test.bin";
    { std::ofstream(path) << "old contents that must go"; }
    platform::OutputFile file;
    ASSERT_TRUE(file.Create(path.string()));
    EXPECT_TRUE(file.Write("abc", 3));
    EXPECT_TRUE(file.Write("", 0));
    EXPECT_TRUE(file.Write("de", 2));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Read(path), "abcde");
    std::filesystem::remove(path);
}

TEST(OutputFile, RefusalsAreReported) {
    platform::OutputFile file;
    EXPECT_FALSE(file.Create("/nonexistent-folder/x.mp3"));
    EXPECT_FALSE(file.Write("x", 1));
    if (std::filesystem::exists("/dev/full")) {
        ASSERT_TRUE(file.Create("/dev/full"));
        // Small writes sit in the buffer; the refusal shows at the latest when it is flushed.
        const bool written = file.Write("abc", 3);
        const bool closed = file.Close();
        EXPECT_FALSE(written && closed);
    }
}

// A staged output stands under its final name only once committed, and never replaces what it
// must not: the source (through any hard link), or with keepExisting an output that appeared.
TEST(StagedOutput, ReplacesOnlyWhatItMay) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("sonvert-staged-" + std::to_string(::getpid()));
    const std::string final = (dir / "a.mp3").string();
    const struct {
        const char* name;
        const char*
            before;  // the final name's content beforehand; "link": a hard link to the source
        bool keepExisting;
        platform::StagedOutput::Commit result;
        const char* after;
    } cases[] = {
        {"new", nullptr, false, platform::StagedOutput::Commit::Done, "new"},
        {"replaced", "old", false, platform::StagedOutput::Commit::Done, "new"},
        {"appeared meanwhile", "old", true, platform::StagedOutput::Commit::Exists, "old"},
        {"the source", "link", false, platform::StagedOutput::Commit::Refused, "source"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "a.wav") << "source";
        platform::FileIdentity source;
        ASSERT_TRUE(platform::IdentityOfPath((dir / "a.wav").string(), source));
        {
            platform::StagedOutput staged;
            ASSERT_TRUE(staged.Create(final));
            const fs::path temporary = staged.TemporaryPath();
            EXPECT_EQ(temporary.parent_path(), dir);
            EXPECT_EQ(temporary.filename().string().rfind(".a.mp3.sonvert-", 0), 0u);
            std::ofstream(temporary) << "new";
            if (c.before != nullptr && std::string(c.before) == "link") {
                fs::create_hard_link(dir / "a.wav", final);
            } else if (c.before != nullptr) {
                std::ofstream(final) << c.before;
            }
            EXPECT_EQ(staged.CommitTo(c.keepExisting, source), c.result);
        }
        EXPECT_EQ(Read(final), c.after);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2)
            << "a.wav and a.mp3 only: the temporary is gone";
    }
    fs::remove_all(dir);
}
