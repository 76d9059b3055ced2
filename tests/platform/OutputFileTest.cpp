#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "OutputFile.h"

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
