// SPDX-License-Identifier: GPL-3.0-or-later
// sonvert-batch: the conversion worker without windows, driven from the command line.
#include <QCoreApplication>

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
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
            std::signal(SIGINT, SIG_DFL);
        }
    }
    int current = stopLevel.load();
    while (current < level && !stopLevel.compare_exchange_weak(current, level)) {
    }
}

// Every folder that outputs go to: the abandoned temporaries of killed runs are removed from it
// before this run writes the same outputs.
void RemoveAbandoned(const std::vector<BatchFile>& files) {
    std::map<std::string, std::set<std::string>> byFolder;
    for (const BatchFile& file : files) {
        const std::filesystem::path output(file.output);
        byFolder[output.parent_path().string()].insert(output.filename().string());
    }
    for (const auto& [folder, names] : byFolder) {
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

// The paths of the command line, then those of each --files-from list; empty on a list that
// cannot be read, with the reason in `error`.
std::vector<std::string> AllPaths(const BatchArguments& command, std::string& error) {
    std::vector<std::string> paths = command.Files;
    for (const std::string& list : command.FilesFrom) {
        if (list == "-") {
            const std::vector<std::string> listed = ReadPathList(std::cin, command.NullSeparated);
            paths.insert(paths.end(), listed.begin(), listed.end());
        } else if (error = ReadPathListFile(list, command.NullSeparated, paths); !error.empty()) {
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

    std::string listError;
    const std::vector<std::string> paths = AllPaths(command, listError);
    if (!listError.empty()) {
        return UsageError(program, listError);
    }
    // From here on a signal is answered by the runner (a walk of a large tree takes a while): the
    // report's lines and the summary are still written. A list still being read from standard
    // input is left to the default action.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, Stop);
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
    SourceList found = CollectSources(
        paths, command.Recursive, options.CustomDir ? options.OutputDir : "", command.ClassicInput);
    if (const auto repeated = DropRepeatedSources(found.sources)) {
        found.messages.push_back(*repeated);
    }

    // Checked over the whole list, so that every shard of it refuses alike.
    std::vector<std::string> outputs;
    for (const BatchSource& source : found.sources) {
        outputs.push_back(OutputFor(source.path, OptionsFor(source, options, command.KeepTree)));
    }
    if (const auto shared = SharedOutput(found.sources, outputs, platform::FolderFoldsCase)) {
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
                       command.KeepTree};
        file.output = OutputFor(file.source, file.options);
        sources.push_back(file.source);
        shardOutputs.push_back(file.output);
        files.push_back(std::move(file));
    }

    std::FILE* reportFile = nullptr;
    if (!command.Report.empty()) {
        reportFile = std::fopen(command.Report.c_str(), "w");
        if (reportFile == nullptr) {
            return UsageError(program, "could not write the report '" + command.Report +
                                           "': " + platform::ErrorText());
        }
    }
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
    BatchRunner runner(std::move(files), jobs, command.NoClobber, console, report, progress);
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
