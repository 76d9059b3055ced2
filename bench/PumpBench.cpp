// SPDX-License-Identifier: GPL-3.0-or-later
// How much the worker costs per file when the encoder costs nothing (a 10-minute 44,100 Hz stereo
// 16-bit file pumped into a double that discards every block), and, in the same run, what really
// encoding that file to MP3 costs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "BoxRecorder.h"
#include "Convertthread.h"
#include "DoubleLibrary.h"
#include "WaveWriter.h"

using namespace testing_support;

namespace {

class Counter : public ConversionReporter {
  public:
    void FileStarted(const std::string&) override {}
    void Progress(int current, int total) override {
        last_ = current + total;
        ++updates;
    }
    void BatchEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        condition_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, [this] { return ended_; });
    }
    long updates = 0;

  private:
    int last_ = 0;  // keeps the update from being optimised away
    std::mutex mutex_;
    std::condition_variable condition_;
    bool ended_ = false;
};

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A file of `seconds` of 44,100 Hz stereo 16-bit noise, written in pieces, so that building it does
// not set the memory peak being measured.
std::string WriteLongWave(const TempDir& dir, std::size_t seconds) {
    const std::size_t dataBytes = seconds * 44100 * 4;
    WaveLayout layout;
    layout.declaredDataSize = static_cast<int64_t>(dataBytes);
    const std::string path = dir.File("long" + std::to_string(seconds) + ".wav");
    std::ofstream out(path, std::ios::binary);
    out << WaveBytes(layout);
    std::string piece(1 << 20, '\0');
    uint32_t seed = 12345;
    for (char& byte : piece) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<char>(seed >> 24);
    }
    for (std::size_t written = 0; written < dataBytes; written += piece.size()) {
        out.write(piece.data(),
                  static_cast<std::streamsize>(std::min(piece.size(), dataBytes - written)));
    }
    return path;
}

// Runs one batch of one file to its end; returns the number of progress reports.
long RunBatch(const std::string& path, OutputFormat format) {
    Counter progress;
    TConvertThread worker(true);
    worker.FreeOnTerminate = false;
    worker.FileList = {path};
    ConversionOptions options;
    options.OutputFormat = format;
    worker.SetOptions(options);
    worker.SetReporter(&progress);
    worker.Resume();
    progress.Wait();
    worker.wait();
    return progress.updates;
}

// The pump alone: the encoder double discards every block.
void Pump(benchmark::State& state) {
    const auto seconds = static_cast<std::size_t>(state.range(0));
    const auto format = static_cast<OutputFormat>(state.range(1));
    static const char* libraries[] = {"lame_enc", "wmaudsdk", "vorbis"};
    TempDir dir;
    const std::string path = WriteLongWave(dir, seconds);
    DoubleLibrary library("complete", libraries[state.range(1)]);
    library.Control().discard = 1;
    BoxRecorder boxes;
    const long before = PeakKiB();
    long updates = 0;
    for (auto _ : state) {
        updates = RunBatch(path, format);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * seconds * 44100 * 4));
    state.counters["blocks"] = static_cast<double>(updates);
    state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakKiB() - before);
}

// The same file really encoded to MP3 at 128 kbit/s by the library of the program's folder: what
// the pump's cost is measured against.
void Mp3Encode(benchmark::State& state) {
    const auto seconds = static_cast<std::size_t>(state.range(0));
    TempDir dir;
    const std::string path = WriteLongWave(dir, seconds);
    BoxRecorder boxes;
    for (auto _ : state) {
        RunBatch(path, OutputFormat::MP3);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * seconds * 44100 * 4));
    if (!boxes.Lines().empty()) {
        state.SkipWithError(boxes.Lines().front().c_str());
    }
}

}  // namespace

BENCHMARK(Pump)
    ->ArgsProduct({{60, 600}, {0, 1, 2}})
    ->ArgNames({"seconds", "format"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK(Mp3Encode)
    ->Arg(600)
    ->ArgNames({"seconds"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
