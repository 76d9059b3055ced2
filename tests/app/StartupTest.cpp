// The program started as a user starts it: one instance at a time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProgramDir.h"

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
        const std::string built = platform::ProgramDir();
        for (const char* file : {"sonvert", "lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
            fs::copy_file(built + file, dir_ / "program" / file);
        }
        fs::copy_file(built + "SVLanguage/English.ini", dir_ / "program/SVLanguage/English.ini");
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

    void Start(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((dir_ / "runtime").string()));
        environment.insert("LANG", "en_US.UTF-8");
        process.setProcessEnvironment(environment);
        process.start(QString::fromStdString((dir_ / "program" / "sonvert").string()),
                      {"ignored", "--arguments"});
        ASSERT_TRUE(process.waitForStarted());
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
