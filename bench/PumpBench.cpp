// How much the worker costs per file when the encoder costs nothing: a 10-minute 44,100 Hz stereo
// 16-bit file pumped into a double that discards every block.
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

void Pump(benchmark::State& state) {
    const auto seconds = static_cast<std::size_t>(state.range(0));
    const auto format = static_cast<OutputFormat>(state.range(1));
    static const char* libraries[] = {"lame_enc", "wmaudsdk", "vorbis"};
    TempDir dir;
    // Written in pieces, so that building the file does not set the peak being measured.
    const std::size_t dataBytes = seconds * 44100 * 4;
    WaveLayout layout;
    layout.declaredDataSize = static_cast<int64_t>(dataBytes);
    {
        std::ofstream out(dir.File("long.wav"), std::ios::binary);
        out << WaveBytes(layout);
        const std::string piece(1 << 20, '\x11');
        for (std::size_t written = 0; written < dataBytes; written += piece.size()) {
            out.write(piece.data(),
                      static_cast<std::streamsize>(std::min(piece.size(), dataBytes - written)));
        }
    }
    DoubleLibrary library("complete", libraries[state.range(1)]);
    library.Control().discard = 1;
    BoxRecorder boxes;
    const long before = PeakKiB();
    long updates = 0;
    for (auto _ : state) {
        Counter progress;
        TConvertThread worker(true);
        worker.FreeOnTerminate = false;
        worker.FileList = {dir.File("long.wav")};
        ConversionOptions options;
        options.OutputFormat = format;
        worker.SetOptions(options);
        worker.SetReporter(&progress);
        worker.Resume();
        progress.Wait();
        worker.wait();
        updates = progress.updates;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * seconds * 44100 * 4));
    state.counters["blocks"] = static_cast<double>(updates);
    state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakKiB() - before);
}

}  // namespace

BENCHMARK(Pump)
    ->ArgsProduct({{60, 600}, {0, 1, 2}})
    ->ArgNames({"seconds", "format"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
