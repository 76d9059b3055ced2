// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "FileText.h"
#include "IniFile.h"

#include <QTemporaryDir>

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

using testfile::ReadAll;
using testfile::WriteAll;

class IniFileTest : public testing::Test {
  protected:
    std::string PathOf(const std::string& name) const {
        return dir_.path().toStdString() + "/" + name;
    }
    QTemporaryDir dir_;
};

struct ReadCase {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file at all
    const char* section;
    const char* key;
    const char* defaultValue;
    std::string expected;
};

TEST_F(IniFileTest, ReadsLikeThePrivateProfileFunctions) {
    const std::string longValue(3000, 'x');
    const ReadCase cases[] = {
        {"plain", "[General]\nKey=Value\n", "General", "Key", "d", "Value"},
        {"names ignore case", "[gEnErAl]\nkEY=v\n", "GENERAL", "key", "d", "v"},
        {"value trimmed", "[S]\nKey =  spaced value \t\n", "S", "Key", "d", "spaced value"},
        {"blanks around names", "  [ S ]  \n\t Key \t= v\n", "S", "Key", "d", "v"},
        {"caller's names trimmed", "[S]\nKey=v\n", " S ", " Key ", "d", "v"},
        {"double quotes dropped", "[S]\nKey=\" padded \"\n", "S", "Key", "d", " padded "},
        {"single quotes dropped", "[S]\nKey='x'\n", "S", "Key", "d", "x"},
        {"unmatched quotes kept", "[S]\nKey=\"x'\n", "S", "Key", "d", "\"x'"},
        {"lone quote kept", "[S]\nKey=\"\n", "S", "Key", "d", "\""},
        {"inner quotes kept", "[S]\nKey=a \"b\" c\n", "S", "Key", "d", "a \"b\" c"},
        {"semicolon inside a value", "[S]\nKey=a ; b\n", "S", "Key", "d", "a ; b"},
        {"comment line is no key", "[S]\n;Key=commented\n", "S", "Key", "d", "d"},
        {"indented comment", "[S]\n  ; Key=commented\n", "S", "; Key", "d", "d"},
        {"hash is no comment", "[S]\n#Key=v\n", "S", "#Key", "d", "v"},
        {"first duplicate key wins", "[S]\nKey=1\nKey=2\n", "S", "Key", "d", "1"},
        {"first duplicate section wins", "[S]\nA=1\n[T]\n[S]\nA=2\n", "S", "A", "d", "1"},
        {"later duplicate section unseen", "[S]\nA=1\n[S]\nB=3\n", "S", "B", "d", "d"},
        {"absent key", "[S]\nA=1\n", "S", "B", "d", "d"},
        {"absent section", "[S]\nA=1\n", "T", "A", "d", "d"},
        {"absent file", std::nullopt, "S", "A", "d", "d"},
        {"empty value is not absent", "[S]\nA=\n", "S", "A", "d", ""},
        {"default loses trailing blanks", "", "S", "A", "  d  ", "  d"},
        {"value capped at 2047", "[S]\nA=" + longValue + "\n", "S", "A", "",
         longValue.substr(0, 2047)},
        {"CRLF endings", "[S]\r\nA=v\r\nB=w\r\n", "S", "A", "d", "v"},
        {"last line without ending", "[S]\nA=v", "S", "A", "d", "v"},
        {"key before any section", "A=v\n[S]\n", "S", "A", "d", "d"},
        {"equals sign in value", "[S]\nA=a=b\n", "S", "A", "d", "a=b"},
        {"line without equals sign", "[S]\nA\nA=v\n", "S", "A", "d", "v"},
        {"key of the next section", "[A]\n[B]\nK=v\n", "A", "K", "d", "d"},
        {"text after the header", "[S] ; note\nK=v\n", "S", "K", "d", "v"},
        {"header without bracket is no section", "[S\nK=v\n", "S", "K", "d", "d"},
        {"byte-order mark skipped", "\xEF\xBB\xBF[General]\nA=v\n", "General", "A", "d", "v"},
        {"CR line ends", "[S]\rA=v\rB=w\r", "S", "B", "d", "w"},
        {"mixed line ends", "[S]\r\nA=v\rB=w\n\rC=x", "S", "C", "d", "x"},
        {"bytes kept as they are", "[S]\nK=\xC4\xE3\xBA\xC3\n", "S", "K", "d", "\xC4\xE3\xBA\xC3"},
    };
    for (const ReadCase& c : cases) {
        const std::string path = PathOf(c.name);
        if (c.file) {
            WriteAll(path, *c.file);
        }
        const platform::IniFile ini(path);
        EXPECT_EQ(ini.ReadString(c.section, c.key, c.defaultValue), c.expected) << c.name;
    }
}

struct WriteCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file yet
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

TEST_F(IniFileTest, WritesOnlyItsOwnKey) {
    const WriteCase cases[] = {
        {"first write creates the file", std::nullopt, "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"empty file", "", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"replaces the value, keeps the rest",
         "; made by hand\n[Other]\nX=1\n[S]\nK=old\nL=2\n; tail\n", "S", "K", "new",
         "; made by hand\n[Other]\nX=1\n[S]\nK=new\nL=2\n; tail\n"},
        {"keeps the shape of the line", "[S]\n  K = old  \n", "S", "K", "new", "[S]\n  K = new\n"},
        {"keeps the file's spelling of names", "[s]\nkey=1\n", "S", "KEY", "2", "[s]\nkey=2\n"},
        {"new key after the section's last line", "[S]\nA=1\n\n[T]\nB=2\n", "S", "C", "3",
         "[S]\nA=1\nC=3\n\n[T]\nB=2\n"},
        {"new key after a trailing comment", "[S]\nA=1\n;c\n[T]\n", "S", "C", "3",
         "[S]\nA=1\n;c\nC=3\n[T]\n"},
        {"new key in an empty section", "[S]\n[T]\nB=2\n", "S", "C", "3", "[S]\nC=3\n[T]\nB=2\n"},
        {"new section at the end", "[S]\nA=1\n", "N", "K", "v", "[S]\nA=1\n[N]\nK=v\n"},
        {"end without line ending", "[S]\nA=1", "N", "K", "v", "[S]\nA=1\n[N]\nK=v\n"},
        {"header alone without ending", "[S]", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"CRLF preserved", "[S]\r\nA=1\r\n", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n"},
        {"middle insert leaves the end alone", "[S]\nA=1\n[T]\nB=2", "S", "C", "3",
         "[S]\nA=1\nC=3\n[T]\nB=2"},
        {"only the first duplicate key", "[S]\nK=1\nK=2\n", "S", "K", "9", "[S]\nK=9\nK=2\n"},
        {"only the first duplicate section", "[S]\nA=1\n[S]\nB=2\n", "S", "C", "3",
         "[S]\nA=1\nC=3\n[S]\nB=2\n"},
        {"commented key stays a comment", "[S]\n;K=old\n", "S", "K", "new", "[S]\n;K=old\nK=new\n"},
        {"empty value", "[S]\nK=1\n", "S", "K", "", "[S]\nK=\n"},
        {"blanks of an empty value dropped", "[S]\nK=  \t\n", "S", "K", "v", "[S]\nK=v\n"},
        {"value written verbatim", "[S]\n", "S", "K", " x ", "[S]\nK= x \n"},
        {"caller's names trimmed", std::nullopt, " S ", " K ", "v", "[S]\r\nK=v\r\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[S]\nA=1\n", "S", "B", "2",
         "\xEF\xBB\xBF[S]\nA=1\nB=2\n"},
        {"CR line ends kept", "[S]\rA=1\r", "S", "A", "2", "[S]\rA=2\r"},
        {"each line keeps its end", "[S]\rA=1\n[T]\r\n", "T", "B", "2", "[S]\rA=1\n[T]\r\nB=2\r"},
        // Found by fuzzing: a lone CR ending the last line became half of a CRLF.
        {"last line ended by a lone CR", "[S]\nK=v\r", "N", "X", "1", "[S]\nK=v\r[N]\nX=1\n"},
    };
    for (const WriteCase& c : cases) {
        const std::string path = PathOf(c.name);
        if (c.before) {
            WriteAll(path, *c.before);
        }
        platform::IniFile ini(path);
        EXPECT_TRUE(ini.WriteString(c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(ReadAll(path), c.after) << c.name;
    }
}

TEST_F(IniFileTest, RefusesWhatTheLineFormatCannotHold) {
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"S", "K", "two\nlines"}, {"S", "K", "cr\r"}, {"S", "a=b", "v"}, {"a]b", "K", "v"},
        {"S", ";K", "v"},         {"S", "[K", "v"},   {"", "K", "v"},    {"S", " ", "v"},
        {"S\n", "K", "v"},        {"S", "K\n", "v"},
    };
    const std::string path = PathOf("Sonvert.ini");
    const std::string before = "[S]\nK=1\n";
    WriteAll(path, before);
    for (const auto& c : cases) {
        platform::IniFile ini(path);
        EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value))
            << c.section << "/" << c.key << "/" << c.value;
        EXPECT_EQ(ReadAll(path), before);
    }
}

TEST_F(IniFileTest, RefusedWritesReportFailure) {
    namespace fs = std::filesystem;
    const std::string readOnlyFile = PathOf("readonly.ini");
    WriteAll(readOnlyFile, "[S]\nK=1\n");
    fs::permissions(readOnlyFile, fs::perms::owner_read | fs::perms::group_read);

    const std::string lockedFolder = PathOf("locked");
    fs::create_directory(lockedFolder);
    WriteAll(lockedFolder + "/present.ini", "[S]\nK=1\n");
    fs::permissions(lockedFolder, fs::perms::owner_read | fs::perms::owner_exec);

    const struct {
        const char* name;
        std::string path;
        bool written;
    } cases[] = {
        {"read-only file", readOnlyFile, false},
        {"new file in a read-only folder", lockedFolder + "/new.ini", false},
        // As on Windows, a writable file may be rewritten in place inside a read-only folder.
        {"writable file in a read-only folder", lockedFolder + "/present.ini", true},
        {"missing folder", PathOf("nowhere/x.ini"), false},
        {"a folder, not a file", PathOf("locked"), false},
    };
    for (const auto& c : cases) {
        const bool existed = fs::exists(c.path);
        const std::string before = existed && fs::is_regular_file(c.path) ? ReadAll(c.path) : "";
        platform::IniFile ini(c.path);
        EXPECT_EQ(ini.WriteString("S", "K", "2"), c.written) << c.name;
        if (!c.written) {
            EXPECT_EQ(fs::exists(c.path), existed) << c.name;
            if (existed && fs::is_regular_file(c.path)) {
                EXPECT_EQ(ReadAll(c.path), before) << c.name;
            }
        } else {
            EXPECT_EQ(ini.ReadString("S", "K", ""), "2") << c.name;
        }
    }
    fs::permissions(lockedFolder, fs::perms::owner_all);
}

TEST_F(IniFileTest, HugeAndEndlessFilesReadAsAbsent) {
    namespace fs = std::filesystem;
    const std::string head = "[S]\nK=v\n;";
    const std::size_t limit = 1024 * 1024;
    WriteAll(PathOf("limit.ini"), head + std::string(limit - head.size(), 'x'));
    WriteAll(PathOf("huge.ini"), head + std::string(limit + 1 - head.size(), 'x'));
    ASSERT_EQ(::mkfifo(PathOf("fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", PathOf("zero.ini"));
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {{"limit.ini", "v"}, {"huge.ini", "d"}, {"fifo.ini", "d"}, {"zero.ini", "d"}};
    for (const auto& c : cases) {
        platform::IniFile ini(PathOf(c.name));
        EXPECT_EQ(ini.ReadString("S", "K", "d"), c.expected) << c.name;
        if (std::string(c.expected) == "d") {
            EXPECT_FALSE(ini.WriteString("S", "K", "w")) << c.name;
        }
    }
    EXPECT_EQ(fs::file_size(PathOf("huge.ini")), limit + 1);
}

// The kernel refuses to let a file grow past this process's file size limit, as a full disk
// would.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        signal_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, signal_);
    }

  private:
    rlimit previous_{};
    void (*signal_)(int) = nullptr;
};

TEST_F(IniFileTest, AFailedWriteLeavesTheOldFile) {
    namespace fs = std::filesystem;
    const std::string before = "[General]\r\nLanguage=English.ini\r\n[Other]\r\nX=1\r\n";
    const std::string path = PathOf("Sonvert.ini");
    WriteAll(path, before);
    {
        const FileSizeLimit full(before.size() + 4);
        platform::IniFile ini(path);
        EXPECT_FALSE(ini.WriteString("General", "Language", "Traditional Chinese.ini"));
        const FileSizeLimit none(0);
        EXPECT_FALSE(ini.WriteString("General", "Ad", "0"));
        EXPECT_FALSE(platform::IniFile(PathOf("new.ini")).WriteString("S", "K", "v"));
    }
    EXPECT_EQ(ReadAll(path), before);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path().toStdString())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Sonvert.ini"}) << "nothing left behind";
}

TEST_F(IniFileTest, AWriteKeepsPermissionsAndLinks) {
    namespace fs = std::filesystem;
    for (const auto mode :
         {fs::perms::owner_read | fs::perms::owner_write,
          fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
          fs::perms::owner_all | fs::perms::group_write | fs::perms::others_read}) {
        const std::string path = PathOf("mode.ini");
        WriteAll(path, "[S]\nK=1\n");
        fs::permissions(path, mode);
        ASSERT_TRUE(platform::IniFile(path).WriteString("S", "K", "2"));
        EXPECT_EQ(fs::status(path).permissions(), mode);
    }
    const std::string link = PathOf("link.ini");
    fs::create_symlink(PathOf("mode.ini"), link);
    ASSERT_TRUE(platform::IniFile(link).WriteString("S", "K", "3"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(PathOf("mode.ini")), "[S]\nK=3\n");
}

TEST_F(IniFileTest, AGroupMemberKeepsASharedFilesGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can hand the file to another user and group";
    }
    namespace fs = std::filesystem;
    constexpr uid_t owner = 61001, writer = 61002;
    constexpr gid_t shared = 61003, writersOwn = 61004;
    const std::string path = PathOf("Sonvert.ini");
    fs::permissions(dir_.path().toStdString(), fs::perms::all);
    WriteAll(path, "[S]\nK=1\n");
    ASSERT_EQ(chown(path.c_str(), owner, shared), 0);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write);
    const auto write = [&] { return platform::IniFile(path).WriteString("S", "K", "2") ? 0 : 1; };
    EXPECT_EQ(testchild::RunAs(writer, writersOwn, shared, write), 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(ReadAll(path), "[S]\nK=2\n");
    EXPECT_EQ(info.st_uid, writer) << "only root may give the file away";
    EXPECT_EQ(info.st_gid, shared);
    EXPECT_EQ(info.st_mode & 07777, 0660u);
}

TEST_F(IniFileTest, NothingIsCached) {
    const std::string path = PathOf("live.ini");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", "none"), "none");
    WriteAll(path, "[S]\nK=first\n");
    EXPECT_EQ(ini.ReadString("S", "K", "none"), "first");
    WriteAll(path, "[S]\nK=second\n");
    EXPECT_EQ(ini.ReadString("S", "K", "none"), "second");
    ASSERT_TRUE(ini.WriteString("S", "L", "third"));
    WriteAll(path, ReadAll(path) + "[T]\nM=4\n");
    ASSERT_TRUE(ini.WriteString("S", "K", "fifth"));
    EXPECT_EQ(ReadAll(path), "[S]\nK=fifth\nL=third\n[T]\nM=4\n");
}

}  // namespace
