// sonvert-batch: the conversion worker without windows, driven from the command line.
#include <QCoreApplication>

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BatchArguments.h"
#include "BatchConsole.h"
#include "ConversionOptions.h"
#include "Convertthread.h"
#include "MessageBox.h"
#include "Settingsfile.h"

namespace {

std::atomic<TConvertThread*> runningWorker{nullptr};

// An interrupt asks the worker to stop, so the current output file is finished and closed; a
// second one ends the program at once.
void Interrupted(int) {
    if (TConvertThread* worker = runningWorker.load()) {
        worker->Terminate();
    }
    std::signal(SIGINT, SIG_DFL);
}

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// The options a batch starts from before the command line changes them: the windows' settings file
// when there is one (read, never written), else the built-in values. A value the file
// cannot give is reported, and the batch goes on with what was read before it.
ConversionOptions StartingOptions(const std::string& program) {
    ConversionOptions options;
    std::error_code error;
    if (!std::filesystem::exists(SettingsReadPath(), error)) {
        return options;
    }
    std::string language;
    try {
        ReadSettingsFile(options, language);
    } catch (const SettingsError& e) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(),
                     platform::StandardErrorText(e.what()).c_str());
    }
    return options;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const std::string program = "sonvert-batch";

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const BatchArguments command = ParseBatchArguments(arguments, StartingOptions(program));
    if (command.Help) {
        std::fputs(BatchUsage(program).c_str(), stdout);
        return 0;
    }
    if (!command.Error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                     command.Error.c_str(), program.c_str());
        return 2;
    }

    const int fileCount = static_cast<int>(command.Files.size());
    const bool live = isatty(STDERR_FILENO) != 0;
    BatchConsole console(stderr, live, fileCount, live ? TerminalWidth() : 80);
    platform::SetMessageSink([&console](const platform::BoxRecord& box) { console.ShowBox(box); });

    TConvertThread worker(true);
    worker.FreeOnTerminate = false;  // owned here, so that it outlives the wait below
    worker.FileList = command.Files;
    worker.SetOptions(command.Options);
    worker.SetReporter(&console);

    runningWorker.store(&worker);
    std::signal(SIGINT, Interrupted);
    worker.Resume();
    console.WaitForEnd();
    worker.wait();
    std::signal(SIGINT, SIG_DFL);
    runningWorker.store(nullptr);
    platform::SetMessageSink({});

    return BatchExitStatus(console.Converted(), fileCount);
}
