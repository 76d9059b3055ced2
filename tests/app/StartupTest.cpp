// SPDX-License-Identifier: GPL-3.0-or-later
// The program started as a user starts it: one instance at a time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "ProgramDir.h"
#include "WaveWriter.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A program folder of its own, so that the run writes its settings there and nowhere else.
class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonvert-startup-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "program" / "SVLanguage");
        fs::create_directories(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all);
        const std::string built = platform::ProgramDir();
        for (const char* file : {"sonvert", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
            fs::copy_file(built + file, dir_ / "program" / file);
        }
        fs::copy_file(built + "SVLanguage/English.ini", dir_ / "program/SVLanguage/English.ini");
        fs::create_directory_symlink(built + "ruffle", dir_ / "program" / "ruffle");
        // No banner: this is about start-up, not the web engine.
        std::ofstream(dir_ / "program" / "Sonvert.ini") << "[General]\r\nAd=0\r\n";
    }
    void TearDown() override {
        for (QProcess* process : {&first_, &second_}) {
            process->kill();
            process->waitForFinished();
        }
        fs::remove_all(dir_);
    }

    void Start(QProcess& process, const std::function<void(QProcessEnvironment&)>& adjust = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((dir_ / "runtime").string()));
        environment.insert("LANG", "en_US.UTF-8");
        if (adjust) {
            adjust(environment);
        }
        process.setProcessEnvironment(environment);
        // Toolkit options among them: none may reach the toolkit.
        process.start(QString::fromStdString((dir_ / "program" / "sonvert").string()),
                      {"ignored", "--arguments", "-reverse"});
        ASSERT_TRUE(process.waitForStarted());
    }

    // The next line the driver tells, or empty after the time.
    static QString NextLine(QProcess& process, int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < milliseconds &&
               process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
        }
        return process.canReadLine() ? QString::fromLocal8Bit(process.readLine()).trimmed()
                                     : QString();
    }

    // The first activation writes the language choice: the window is up and running.
    bool Activated() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            if (ReadText(dir_ / "program" / "Sonvert.ini").find("Language=") != std::string::npos) {
                return true;
            }
            QThread::msleep(20);
        }
        return false;
    }

    fs::path dir_;
    QProcess first_;
    QProcess second_;
};

}  // namespace

TEST_F(Startup, ASecondStartEndsAtOnceAndALaterOneRuns) {
    Start(first_);
    ASSERT_TRUE(Activated());
    const std::string settings = ReadText(dir_ / "program" / "Sonvert.ini");

    Start(second_);
    ASSERT_TRUE(second_.waitForFinished(10000)) << "the second instance kept running";
    EXPECT_EQ(second_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second_.exitCode(), 0);
    EXPECT_EQ(second_.readAllStandardError().trimmed(), "");
    EXPECT_EQ(first_.state(), QProcess::Running) << "the first instance must keep running";
    EXPECT_EQ(ReadText(dir_ / "program" / "Sonvert.ini"), settings);

    first_.terminate();
    ASSERT_TRUE(first_.waitForFinished(10000));

    // The guard went with the first process: a new start runs.
    fs::remove(dir_ / "program" / "Sonvert.ini");
    std::ofstream(dir_ / "program" / "Sonvert.ini") << "[General]\r\nAd=0\r\n";
    Start(second_);
    EXPECT_TRUE(Activated());
    EXPECT_EQ(second_.state(), QProcess::Running);
}

// The version query answers on standard output and never opens a window.
TEST_F(Startup, VersionIsPrintedWithoutStarting) {
    QProcess version;
    version.start(QString::fromStdString((dir_ / "program" / "sonvert").string()), {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000)) << "the windows started";
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), QByteArray("sonvert " SONVERT_PROGRAM_VERSION "\n"));
    EXPECT_EQ(ReadText(dir_ / "program" / "Sonvert.ini"), "[General]\r\nAd=0\r\n")
        << "the language step ran";
}

namespace {

struct EngineCase {
    const char* name;
    const char* variable;  // set for the run, with the value below; the sandbox setting never is
    const char* value;
    bool killRenderer;
};

void PrintTo(const EngineCase& c, std::ostream* out) {
    *out << c.name;
}

class BannerStartup : public Startup, public testing::WithParamInterface<EngineCase> {};

// Run with the banner on, as a user would have it: whatever the web engine does, the window comes
// up, keeps working and converts.
TEST_P(BannerStartup, TheWindowComesUpAndConverts) {
    const EngineCase& c = GetParam();
    fs::remove(dir_ / "program" / "Sonvert.ini");
    const std::string wave = (dir_ / "tone.wav").string();
    testing_support::WaveLayout layout;
    layout.data = testing_support::Ramp16(44100);
    testing_support::WriteFile(wave, testing_support::WaveBytes(layout));
    Start(first_, [&](QProcessEnvironment& environment) {
        environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
        environment.insert("LD_PRELOAD", SONVERT_STARTUP_DRIVER);
        // The driver is not built for the sanitizer's own checks of the library order, and
        // Debian's web engine frees one of its own objects with a mismatched size when a render
        // process dies (outside this program; the banner tests say the same).
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") +
                               ":verify_asan_link_order=0:new_delete_type_mismatch=0");
        if (c.variable != nullptr) {
            environment.insert(c.variable, c.value);
        }
    });
    ASSERT_EQ(NextLine(first_, 60000), "shown LeftToRight")
        << first_.readAllStandardError().toStdString();
    ASSERT_TRUE(fs::exists(dir_ / "runtime" / "_SonvertAd.swf"));

    if (c.killRenderer) {
        QElapsedTimer clock;
        clock.start();
        // Once the banner's own page stands: the blank page before it may have had another.
        pid_t renderer = 0;
        while (renderer == 0 && clock.elapsed() < 60000) {
            first_.write("renderer\n");
            const QStringList answer = NextLine(first_, 10000).split(' ');
            ASSERT_EQ(answer.size(), 3) << answer.join(' ').toStdString();
            if (answer[2] == "sonvert") {
                renderer = static_cast<pid_t>(answer[1].toLongLong());
            }
            QThread::msleep(100);
        }
        ASSERT_EQ(kill(renderer, SIGKILL), 0);
        // The page hears of it; the window must go on regardless.
        QString answer;
        while (!answer.startsWith("renderer 0 ") && clock.elapsed() < 120000) {
            QThread::msleep(100);
            first_.write("renderer\n");
            answer = NextLine(first_, 10000);
        }
        ASSERT_TRUE(answer.startsWith("renderer 0 ")) << answer.toStdString();
    }

    first_.write(("convert " + wave + "\n").c_str());
    ASSERT_EQ(NextLine(first_, 120000), "box Conversion complete.")
        << first_.readAllStandardError().toStdString();
    const std::string mp3 = ReadText(dir_ / "tone.mp3");
    ASSERT_GT(mp3.size(), 1000u);
    EXPECT_TRUE(mp3.compare(0, 3, "ID3") == 0 ||
                (static_cast<unsigned char>(mp3[0]) == 0xFF && (mp3[1] & 0xE0) == 0xE0));
    EXPECT_EQ(first_.state(), QProcess::Running);
    // The engine's start-up reports stay out of a terminal's way.
    const std::string said = first_.readAllStandardError().toStdString();
    for (const char* report : {"GL Type", "Init Parameters", "Sandboxing disabled"}) {
        EXPECT_EQ(said.find(report), std::string::npos) << said;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engine, BannerStartup,
    testing::Values(
        // As root (CI) the engine's sandbox refuses to start.
        EngineCase{"NoSandboxSettingAndTheRenderProcessKilled", nullptr, nullptr, true},
        EngineCase{"HelperProgramMissing", "QTWEBENGINEPROCESS_PATH", "/nonexistent/helper",
                   false}),
    [](const testing::TestParamInfo<EngineCase>& p) { return std::string(p.param.name); });

}  // namespace
