// SPDX-License-Identifier: GPL-3.0-or-later
// sonvert-batch: the conversion worker without windows, driven from the command line.
#include <QCoreApplication>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "BatchArguments.h"
#include "BatchConsole.h"
#include "BatchReport.h"
#include "BatchRunner.h"
#include "BatchSources.h"
#include "ConsoleText.h"
#include "ConversionOptions.h"
#include "ErrorText.h"
#include "FolderCase.h"
#include "MessageBox.h"
#include "Processors.h"
#include "Settingsfile.h"
#include "StagedOutput.h"
#include "WorkerPool.h"

namespace {

// How far the signals received ask the batch to stop (BatchRunner::StopLevel). A first interrupt
// lets the running files finish; a second one, a termination (a scheduler's time limit) or a
// hang-up stops them at once. A third interrupt ends the program outright.
std::atomic<int> stopLevel{BatchRunner::Go};
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void Stop(int signal) {
    int level = BatchRunner::Halt;
    if (signal == SIGINT) {
        const int count = interrupts.fetch_add(1) + 1;
        level = count == 1 ? BatchRunner::Drain : BatchRunner::Halt;
        if (count >= 2) {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            ::sigaction(SIGINT, &fallback, nullptr);
        }
    }
    int current = stopLevel.load();
    while (current < level && !stopLevel.compare_exchange_weak(current, level)) {
    }
}

bool Stopping() {
    return stopLevel.load() != BatchRunner::Go;
}

// Without `restart` a blocking call that a signal interrupts fails with EINTR, so that the start-up
// sees a stop while it waits (a report FIFO without a reader, a list from a pipe). The conversions
// look at the stop level by themselves, and their writes to pipes must not fail with EINTR.
void AnswerSignals(bool restart) {
    struct sigaction action {};
    action.sa_handler = Stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

// A signal before any file started: nothing was converted, and nothing more is tried.
int StoppedBeforeStart(const std::vector<std::string>& messages, std::size_t known) {
    for (const std::string& message : messages) {
        std::fprintf(stderr, "%s\n", EscapeControls(message).c_str());
    }
    std::fprintf(stderr,
                 "sonvert-batch: stopped before any file started\n"
                 "sonvert-batch: 0 of %zu files converted\n",
                 known);
    return 1;
}

// The report, created or emptied. A FIFO's open waits for a reader: a signal ends the wait only on
// a stop (nullptr and an empty `error`).
std::FILE* OpenReport(const std::string& path, std::string& error) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR && !Stopping());
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "w");
    if (file == nullptr) {
        error = errno == EINTR ? "" : platform::ErrorText();
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return file;
}

// Every folder that outputs go to: the abandoned temporaries of killed runs are removed from it
// before this run writes the same outputs.
void RemoveAbandoned(const std::vector<BatchFile>& files) {
    std::map<std::string, std::set<std::string>> byFolder;
    for (const BatchFile& file : files) {
        if (!file.output.empty()) {
            const std::filesystem::path output(file.output);
            byFolder[output.parent_path().string()].insert(output.filename().string());
        }
    }
    for (const auto& [folder, names] : byFolder) {
        if (Stopping()) {
            return;
        }
        platform::RemoveAbandonedTemporaries(folder, names);
    }
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

int UsageError(const std::string& program, const std::string& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                 EscapeControls(error).c_str(), program.c_str());
    return 2;
}

// The paths of the command line, then the entries of each --files-from list; empty on a list that
// cannot be read, with the reason in `error`.
std::vector<BatchSource> AllPaths(const BatchArguments& command, std::string& error) {
    std::vector<BatchSource> paths;
    for (const std::string& file : command.Files) {
        paths.push_back({file, ""});
    }
    for (const std::string& list : command.FilesFrom) {
        error = ReadPathList(list, command.NullSeparated, Stopping, paths);
        if (!error.empty()) {
            return {};
        }
    }
    return paths;
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
    if (command.Version) {
        std::printf("%s %s\n", program.c_str(), SONVERT_PROGRAM_VERSION);
        return 0;
    }
    if (!command.Error.empty()) {
        return UsageError(program, command.Error);
    }

    // A reader that has gone makes a write fail with EPIPE, which the report and the console
    // answer; the signal would end the program without its summary.
    std::signal(SIGPIPE, SIG_IGN);
    // From here on a signal is answered by the program: a list read from a pipe, a walk of a large
    // tree and a report FIFO waiting for its reader end at once, with the summary.
    AnswerSignals(false);
    std::string listError;
    const std::vector<BatchSource> paths = AllPaths(command, listError);
    if (Stopping()) {
        return StoppedBeforeStart({}, paths.size());
    }
    if (!listError.empty()) {
        return UsageError(program, listError);
    }
    const ConversionOptions& options = command.Options;
    if (options.CustomDir) {
        // Made once here, not found missing once per file.
        std::error_code error;
        std::filesystem::create_directories(options.OutputDir, error);
        if (error) {
            std::fprintf(stderr, "%s: could not create the output folder '%s': %s\n",
                         program.c_str(), options.OutputDir.c_str(), error.message().c_str());
            return 2;
        }
    }
    SourceList found =
        CollectSources(paths, command.Recursive, options.CustomDir ? options.OutputDir : "",
                       Stopping, command.ClassicInput);
    if (const auto repeated = DropRepeatedSources(found.sources, Stopping)) {
        found.messages.push_back(*repeated);
    }
    if (Stopping()) {
        return StoppedBeforeStart(found.messages, found.sources.size());
    }

    // Checked over the whole list, so that every shard of it refuses alike.
    std::vector<std::string> outputs;
    for (const BatchSource& source : found.sources) {
        outputs.push_back(
            source.refusal.empty()
                ? OutputFor(source.path, OptionsFor(source, options, command.KeepTree))
                : "");
    }
    const auto shared = SharedOutput(found.sources, outputs, platform::FolderFoldsCase, Stopping);
    if (Stopping()) {
        return StoppedBeforeStart(found.messages, found.sources.size());
    }
    if (shared) {
        for (const std::string& message : found.messages) {
            std::fprintf(stderr, "%s\n", EscapeControls(message).c_str());
        }
        std::fprintf(stderr, "%s: %s; nothing converted\n", program.c_str(),
                     EscapeControls(*shared).c_str());
        return 2;
    }

    std::vector<BatchFile> files;
    std::vector<std::string> sources;
    std::vector<std::string> shardOutputs;
    for (const BatchSource& source :
         ShardOf(found.sources, command.ShardIndex, command.ShardCount)) {
        BatchFile file{source.path, "", OptionsFor(source, options, command.KeepTree),
                       command.KeepTree, source.refusal};
        file.output = file.refusal.empty() ? OutputFor(file.source, file.options) : "";
        sources.push_back(file.source);
        shardOutputs.push_back(file.output);
        files.push_back(std::move(file));
    }

    std::FILE* reportFile = nullptr;
    if (!command.Report.empty()) {
        std::string error;
        reportFile = OpenReport(command.Report, error);
        if (Stopping()) {
            if (reportFile != nullptr) {
                std::fclose(reportFile);
            }
            return StoppedBeforeStart(found.messages, files.size());
        }
        if (reportFile == nullptr) {
            return UsageError(program,
                              "could not write the report '" + command.Report + "': " + error);
        }
    }
    // A stop from here on goes through the runner: every file gets its report line.
    AnswerSignals(true);
    BatchReport report(reportFile, sources, shardOutputs);

    const int fileCount = static_cast<int>(files.size());
    const bool live = isatty(STDERR_FILENO) != 0;
    BatchConsole console(stderr, live, fileCount, live ? TerminalWidth() : 80);
    for (const std::string& message : found.messages) {
        console.Line(message);
    }

    const int jobs = command.Jobs > 0 ? command.Jobs : platform::UsableProcessors();
    RemoveAbandoned(files);
    BatchProgress progress(console, fileCount);
    WorkerPool pool(command.NoClobber, console, progress, command.ClassicInput);
    const ExistingOutput existing = command.NoClobber ? ExistingOutput::Keep
                                    : command.Update  ? ExistingOutput::Update
                                                      : ExistingOutput::Replace;
    BatchRunner runner(std::move(files), jobs, existing, console, report, progress);
    const int converted = runner.Run(stopLevel, pool);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
    // A report that lost lines is said once, however many it lost.
    const std::string reportFailure = report.Close();
    if (!reportFailure.empty()) {
        console.Line(program + ": could not write the report '" + command.Report +
                     "': " + reportFailure);
    }
    console.Summary(converted);

    // A folder that could not be read may have held files that were never tried.
    const bool halted = stopLevel.load() >= BatchRunner::Halt;
    return found.unreadable || halted || !reportFailure.empty()
               ? 1
               : BatchExitStatus(converted, fileCount);
}
