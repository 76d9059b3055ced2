// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languagetable.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

// The table is data, but two kinds of slip in it would silently break a window: a row aimed at
// the wrong kind of target, and a key reused for a different text.
TEST(LanguagetableTest, RowsAreConsistent) {
    std::map<std::string, std::string> textOfKey;
    std::set<std::string> targets;
    for (const LanguageTableRow& row : LanguageTable) {
        const std::string where = std::string(row.Section) + "/" + row.Key;
        EXPECT_NE(std::string("MAPO").find(row.Window), std::string::npos) << where;
        EXPECT_EQ(row.Target == LanguageTarget::WindowCaption, row.Control[0] == '\0') << where;
        EXPECT_EQ(row.Column != 0, row.Target == LanguageTarget::ColumnTitle && row.Column > 0)
            << where;
        const auto [it, added] = textOfKey.emplace(where, row.BuiltIn);
        EXPECT_EQ(it->second, row.BuiltIn) << where << " has two built-in texts";
        const std::string target = std::string(1, row.Window) + row.Control + "/" +
                                   std::to_string(static_cast<int>(row.Target)) + "/" +
                                   std::to_string(row.Column);
        EXPECT_TRUE(targets.insert(target).second) << target << " is set twice";
    }
    // Three keys serve two controls each.
    EXPECT_EQ(textOfKey.size(), LanguageTable.size() - 3);
}

TEST(LanguagetableTest, BuiltInTextsByControl) {
    EXPECT_STREQ(BuiltInText('M', "SpeedButtonConvert", LanguageTarget::Hint),
                 "Convert wav files to mp3");
    EXPECT_STREQ(BuiltInText('M', "ListView1", LanguageTarget::ColumnTitle, 2), "Sample Rate");
    EXPECT_STREQ(BuiltInText('O', "ButtonOk", LanguageTarget::Caption), "OK");
    EXPECT_STREQ(BuiltInText('P', "", LanguageTarget::WindowCaption), "Processing");
    EXPECT_EQ(BuiltInText('P', "ButtonOk", LanguageTarget::Caption), nullptr);
}

}  // namespace
