// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "BatchConsole.h"
#include "ConsoleText.h"

namespace {

TEST(ConsoleText, EscapesWhatATerminalWouldObey) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain name.wav", "plain name.wav"},
        {"a\x1b[2Jb", "a\\x1b[2Jb"},
        {"line\r\nbreak\ttab", "line\\x0d\\x0abreak\\x09tab"},
        {"del\x7f", "del\\x7f"},
        {"csi\xc2\x9b"
         "31m",
         "csi\\xc2\\x9b31m"},             // U+009B, a C1 control
        {"caf\xe9.wav", "caf\\xe9.wav"},  // Latin-1, not UTF-8
        {"Ж東😀 é", "Ж東😀 é"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
    }
}

TEST(ConsoleText, CutsByColumnsAtCharacterBoundaries) {
    const struct {
        std::string text;
        std::size_t width;
        std::size_t columns;  // of the text itself
        std::string cut;
    } cases[] = {
        {"abcdefghij", 8, 10, "abcde..."},
        {"abcdefghij", 10, 10, "abcdefghij"},
        {"東京都の音楽", 10, 12, "東京都..."},  // a wide character never half shown
        {"ｱｲｳ１２", 6, 7, "ｱｲｳ..."},            // halfwidth katakana 1, fullwidth digits 2
        {"e\xcc\x81"
         "e\xcc\x81"
         "e\xcc\x81"
         "abcd",
         6, 7,
         "e\xcc\x81"
         "e\xcc\x81"
         "e\xcc\x81..."},
        {"\xe1\x84\x92\xe1\x85\xa1\xe1\x86\xab", 2, 2, "\xe1\x84\x92\xe1\x85\xa1\xe1\x86\xab"},
        {"ab\xff"
         "cdef",
         5, 7, "ab..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayWidth(c.text), c.columns) << c.text;
        const std::string cut = CutToWidth(c.text, c.width);
        EXPECT_EQ(cut, c.cut) << c.text;
        EXPECT_LE(DisplayWidth(cut), c.width) << c.text;
    }
}

TEST(BatchConsole, ShowsControlCharactersOfEveryLineEscaped) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        BatchConsole console(file, true, 2, 40);
        console.Line("Error: Could not open '\x1b]0;title\x07.wav'");
        console.Progress(0, 5, {{"/in/\x1b[2J東京都の音楽でも長い名前.wav", 45}});
    }
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    EXPECT_EQ(text,
              "Error: Could not open '\\x1b]0;title\\x07.wav'\n"
              "\r0/2 [----------]  5% | 45% \\x1b[2J東...\x1b[K");
}

}  // namespace
