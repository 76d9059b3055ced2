// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalFileName.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fstream>

#include "WaveWriter.h"

namespace {

// The dialog's text has U+FFFD for each byte that is not UTF-8; the bytes are found again, unless
// two entries read alike.
TEST(LocalFileNameTest, DialogTextFindsTheFilesBytes) {
    testing_support::TempDir dir;  // removes by bytes, unlike the toolkit's
    const std::string root = dir.Path() + "/";
    for (const char* name : {"\xE9t\xE9.wav", "twin\xE8.wav", "twin\xE9.wav"}) {
        std::ofstream(root + name) << "x";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"\xE9t\xE9.wav", "\xE9t\xE9.wav"},
        {"twin\xE9.wav", "twin\xEF\xBF\xBD.wav"},
    };
    for (const auto& [bytes, expected] : cases) {
        const QString text = QFile::decodeName(QByteArray::fromStdString(root + bytes));
        EXPECT_EQ(platform::FileSystemPath(text), root + expected) << bytes;
    }
}

}  // namespace
