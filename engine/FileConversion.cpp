// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileConversion.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <type_traits>
#include <vector>

#include "AudioSource.h"
#include "ErrorText.h"
#include "Mp3InfoFrame.h"
#include "ResolvedPath.h"
#include "SourceTags.h"
#include "StagedOutput.h"
#include "TagCopy.h"
#include "Waveinf.h"
#include "Wavtomp3.h"
#include "Wavtoogg.h"
#include "Wavtowma.h"

namespace {

// Short MP3 files get two blocks of silence so that the encoder's delay does not eat their end.
constexpr uint32_t kSilenceTailBelow = 51200;

// 8-bit samples are unsigned with 128 as silence.
int16_t Widen(unsigned char byte) {
    return static_cast<int16_t>(32767 * (static_cast<int>(byte) - 128) / 128);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) {
        return true;
    }
    // A path that cannot be resolved (a name too long, a folder loop) resolves to nothing, and two
    // nothings are not the same file.
    std::error_code errorA;
    std::error_code errorB;
    const auto canonicalA = std::filesystem::weakly_canonical(a, errorA);
    const auto canonicalB = std::filesystem::weakly_canonical(b, errorB);
    return !errorA && !errorB && canonicalA == canonicalB;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using SourceFile = std::unique_ptr<std::FILE, FileCloser>;

// Moves one file's samples from its source to a back-end, block by block.
class Pump {
  public:
    Pump(AudioSource& source, uint32_t blockBytes, bool mp3)
        : source_(source),
          bytes_(source.Shape().Bytes),
          blockSamples_(blockBytes / 2),
          wholeBlocks_(mp3 && source.Shape().WholeBlocks),
          samples_(blockSamples_) {}

    const int16_t* Samples() const { return samples_.data(); }
    // The values of the last block that came from the source, not from padding.
    uint32_t SourceValues() const { return sourceValues_; }
    uint64_t Consumed() const { return consumed_; }
    bool Exhausted() const { return exhausted_ || consumed_ >= bytes_; }

    // Fills the next block; returns its size in bytes, 0 when nothing is left to send.
    uint32_t Fill() {
        if (Exhausted()) {
            return 0;
        }
        const auto want =
            static_cast<std::size_t>(std::min<uint64_t>(bytes_ - consumed_, blockSamples_ * 2));
        const std::size_t got = source_.Read(samples_.data(), want);
        sourceValues_ = static_cast<uint32_t>(got / 2);
        if (wholeBlocks_ && source_.ReadError() == 0) {
            // The MP3 path always sends whole blocks: what cannot be read is silence. A short read
            // means the file has ended; a recorder that never fixed its size field declares up to
            // 4 GiB, which must not become hours of silence.
            std::fill(samples_.begin() + static_cast<std::ptrdiff_t>(got / 2), samples_.end(),
                      int16_t{0});
            consumed_ += blockSamples_ * 2;
            exhausted_ = got < want;
            return blockSamples_ * 2;
        }
        consumed_ += got;
        // A read that failed part-way still sends what it got; the next one finds the end.
        exhausted_ = got == 0;
        return static_cast<uint32_t>(got);
    }

    // The system's error number when reading the source failed (a failing disk, a lost share),
    // else 0: such a file ended early and must not pass for a complete one.
    int ReadError() const { return source_.ReadError(); }
    bool ReadFailed() const { return ReadError() != 0 || !source_.DecodeError().empty(); }

    // Fills the whole block with silence and returns its size in bytes.
    uint32_t Silence() {
        std::fill(samples_.begin(), samples_.end(), int16_t{0});
        return blockSamples_ * 2;
    }

  private:
    AudioSource& source_;
    uint64_t bytes_;
    uint32_t blockSamples_;
    bool wholeBlocks_;
    std::vector<int16_t> samples_;
    uint64_t consumed_ = 0;
    uint32_t sourceValues_ = 0;
    bool exhausted_ = false;
};

// The classic reader: 16-bit samples go straight into the block; each 8-bit sample is one byte.
class ClassicWave final : public AudioSource {
  public:
    ClassicWave(std::FILE* stream, const WaveFormat& format)
        : stream_(stream), eightBit_(format.BitsPerSample == 8) {
        shape_.SampleRate = format.SampleRate;
        shape_.Channels = format.Channels;
        shape_.Bytes = eightBit_ ? uint64_t{format.DataSize} * 2 : format.DataSize;
        shape_.ShortFileBytes = format.DataSize;
        shape_.WholeBlocks = eightBit_;
    }

    const SourceShape& Shape() const override { return shape_; }
    int ReadError() const override { return readError_; }
    int Descriptor() const override { return fileno(stream_); }

    std::size_t Read(int16_t* into, std::size_t bytes) override {
        if (!eightBit_) {
            return ReadBytes(into, bytes);
        }
        bytes_.resize(bytes / 2);
        const std::size_t got = ReadBytes(bytes_.data(), bytes_.size());
        std::transform(bytes_.data(), bytes_.data() + got, into, Widen);
        return got * 2;
    }

  private:
    std::size_t ReadBytes(void* into, std::size_t size) {
        errno = 0;
        const std::size_t got = std::fread(into, 1, size, stream_);
        if (got < size && std::ferror(stream_) != 0) {
            readError_ = errno != 0 ? errno : EIO;
        }
        return got;
    }

    std::FILE* stream_;
    bool eightBit_;
    SourceShape shape_;
    std::vector<unsigned char> bytes_;
    int readError_ = 0;
};

// Keeps a reader's boxes to itself: the classic reader's refusal is not the last word when a
// second reader follows.
class QuietTarget final : public platform::MessageTarget {
  public:
    void Show(const platform::BoxRecord&) override {}
};

// By OutputFormat.
constexpr const char* kCaptions[] = {WavToMp3::Caption, WavToWma::Caption, WavToOgg::Caption};

// What the file list would refuse never reaches an encoder, and neither do channels that would
// have to be folded into one (the result would be garbled and several times too long).
bool Convertible(const std::string& source, const WaveFormat& format,
                 platform::MessageTarget& messages) {
    if (!ListableBitDepth(format.BitsPerSample)) {
        messages.ShowPlainMessage(kNotPcmMessage);
        return false;
    }
    if (format.Channels != 1 && format.Channels != 2) {
        ReportChannelCount(source, format.Channels, messages);
        return false;
    }
    return true;
}

}  // namespace

FileConversion::FileConversion(const ConversionOptions& options, const OutputGuard& guard,
                               ConversionReporter& reporter, const std::atomic<bool>& stop)
    : options_(options), guard_(guard), reporter_(reporter), stop_(stop) {}

FileOutcome FileConversion::Convert(const std::string& source, const std::string& output, int index,
                                    int count) {
    reporter_.FileStarted(source);
    const FileOutcome outcome = Run(source, output, index, count);
    reporter_.FileFinished(source, outcome);
    return outcome;
}

FileOutcome FileConversion::Run(const std::string& source, const std::string& output, int index,
                                int count) {
    const std::string cannotWrite = "Can not write the file '" + output + "'";
    const std::string overwritesSource =
        "Could not convert '" + source + "': its output file would overwrite the source file";
    if (SameFile(source, output)) {
        // Writing the output would destroy the source while it is being read.
        reporter_.MessageBox(overwritesSource, "Error", platform::MbOk);
        return FileOutcome::Failed;
    }
    const std::filesystem::path key = platform::ResolvedPath(output);
    if (const auto earlier = written_.find(key); earlier != written_.end()) {
        reporter_.MessageBox("Could not convert '" + source + "': its output file '" + output +
                                 "' was already written from '" + earlier->second + "'",
                             "Error", platform::MbOk);
        return FileOutcome::Failed;
    }
    OpenFailure failure = OpenFailure::None;
    SourceFile file(SourceOpener ? SourceOpener(source)
                                 : platform::OpenRegularFile(source, failure));
    if (!file) {
        ReportUnopenedSource(source, failure, reporter_);
        return FileOutcome::Failed;
    }
    const std::unique_ptr<AudioSource> audio = OpenSource(source, file.get());
    if (!audio) {
        return FileOutcome::Failed;
    }
    const SourceShape& shape = audio->Shape();
    const char* const caption = kCaptions[static_cast<int>(options_.OutputFormat)];

    // A staged output is written under a temporary name; messages still name the output.
    platform::StagedOutput staged;
    platform::FileIdentity sourceIdentity;
    platform::IdentityOf(audio->Descriptor(), sourceIdentity);
    if (guard_.staged && !staged.Create(output)) {
        reporter_.MessageBox("Can not create the file '" + output + "': " + staged.Error() + ".",
                             caption, platform::MbOk);
        return FileOutcome::Failed;
    }
    const std::string& target = guard_.staged ? staged.TemporaryPath() : output;
    bool opened = false;
    uint64_t sentValues = 0;  // of the source's own samples, all channels

    // Sends the data chunk through a back-end whose Open gave `block`, and closes it.
    auto encode = [&](auto& encoder, int block) {
        using Encoder = std::decay_t<decltype(encoder)>;
        constexpr bool mp3 = std::is_same_v<Encoder, WavToMp3>;
        if (block == -1) {
            return FileOutcome::Failed;
        }
        // Once a back-end has opened the output, this batch has written it.
        written_.emplace(key, source);
        opened = true;
        Pump pump(*audio, static_cast<uint32_t>(block), mp3);
        // MP3's Write fails with -1, the others' with false.
        auto write = [&](uint32_t size) {
            return static_cast<int>(encoder.Write(pump.Samples(), size)) != (mp3 ? -1 : 0);
        };
        bool failed = false;
        bool stopped = false;
        while (!pump.Exhausted()) {
            const uint32_t size = pump.Fill();
            if (size == 0) {
                break;
            }
            if (!write(size)) {
                failed = true;
                break;
            }
            sentValues += pump.SourceValues();
            const double percent =
                static_cast<double>(pump.Consumed()) * 100.0 / static_cast<double>(shape.Bytes);
            const int current = percent >= 100.0 ? 100 : static_cast<int>(percent);
            reporter_.Progress(current, static_cast<int>(100.0 / count * index +
                                                         static_cast<double>(current) / count));
            if (stop_.load(std::memory_order_relaxed)) {
                stopped = !pump.Exhausted();
                break;
            }
        }
        if (pump.ReadError() != 0 && !failed) {
            reporter_.MessageBox(
                "Could not read '" + source + "': " + platform::ErrorText(pump.ReadError()),
                "Error", platform::MbOk);
            failed = true;
        }
        if (!audio->DecodeError().empty() && !failed) {
            reporter_.MessageBox("Could not read '" + source + "': " + audio->DecodeError(),
                                 "Error", platform::MbOk);
            failed = true;
        }
        if (mp3 && shape.ShortFileBytes < kSilenceTailBelow && write(pump.Silence())) {
            write(pump.Silence());
        }
        const bool closed = encoder.Close();
        bool fileFailed = false;
        if constexpr (!std::is_same_v<Encoder, WavToWma>) {
            fileFailed = encoder.FileFailed();
        }
        // The libraries report some failures by result alone (an MP3 file then lacks its last
        // frames); the user still has to know.
        if (std::is_same_v<Encoder, WavToWma> ? !closed || (failed && !pump.ReadFailed())
                                              : mp3 && !closed && !failed && !fileFailed) {
            reporter_.MessageBox(cannotWrite + ".", caption, platform::MbOk);
        }
        failed = failed || !closed || fileFailed;
        if (!failed && !stopped && !audio->Notice().empty()) {
            reporter_.MessageBox(audio->Notice(), "Warning", platform::MbOk);
        }
        return failed    ? FileOutcome::Failed
               : stopped ? FileOutcome::Stopped
                         : FileOutcome::Converted;
    };

    const uint16_t channels = shape.Channels;
    const uint32_t value =
        ListEntry(options_.OutputFormat, options_.*ListIndexOf[FormatIndex(options_.OutputFormat)])
            .Value;
    FileOutcome outcome = FileOutcome::Failed;
    switch (options_.OutputFormat) {
        case OutputFormat::MP3: {
            WavToMp3 encoder(reporter_);
            outcome =
                encode(encoder, encoder.Open(target, shape.SampleRate, channels == 2 ? 1 : 4,
                                             shape.SampleRate <= 11025 && value > 64 ? 64 : value,
                                             options_.Mp3Copyright, options_.Mp3Crc,
                                             options_.Mp3Original, options_.Mp3Private));
            break;
        }
        case OutputFormat::WMA: {
            WavToWma encoder(reporter_);
            outcome = encode(encoder, encoder.Open(target, shape.SampleRate, channels, value));
            break;
        }
        case OutputFormat::OGG: {
            WavToOgg encoder(reporter_);
            // Worked out in double and rounded once, so that each level is the float nearest its
            // tenth; multiplying in float rounds twice and puts level 9 one step above 0.9f.
            outcome = encode(encoder, encoder.Open(target, shape.SampleRate, channels,
                                                   static_cast<float>(value * 0.1)));
            break;
        }
    }
    // The Info frame is completed in every MP3 output that is kept, before its tags move it.
    if (options_.OutputFormat == OutputFormat::MP3 && opened &&
        (outcome == FileOutcome::Converted || !guard_.staged)) {
        int error = 0;
        if (CompleteMp3InfoFrame(target, sentValues / channels, shape.SampleRate, error) ==
                InfoFrameResult::Failed &&
            outcome != FileOutcome::Failed) {
            reporter_.MessageBox(cannotWrite + ": " + platform::ErrorText(error) + ".", caption,
                                 platform::MbOk);
            return FileOutcome::Failed;
        }
    }
    // The tags go into every output that is kept: a finished one, and a stopped one in the windows.
    std::string tagError;
    if (options_.CopyTags &&
        (outcome == FileOutcome::Converted ||
         (outcome == FileOutcome::Stopped && !guard_.staged)) &&
        !WriteTags(target, options_.OutputFormat, ReadSourceTags(source), tagError)) {
        reporter_.MessageBox(cannotWrite + ": " + tagError + ".", caption, platform::MbOk);
        return FileOutcome::Failed;
    }
    if (outcome != FileOutcome::Converted || !guard_.staged) {
        return outcome;
    }
    switch (staged.CommitTo(guard_.keepExisting, sourceIdentity)) {
        case platform::StagedOutput::Commit::Done:
            break;
        case platform::StagedOutput::Commit::Exists:
            return FileOutcome::Skipped;
        case platform::StagedOutput::Commit::Refused:
            reporter_.MessageBox(overwritesSource, "Error", platform::MbOk);
            return FileOutcome::Failed;
        case platform::StagedOutput::Commit::Failed:
            reporter_.MessageBox(cannotWrite + ": " + staged.Error() + ".", caption,
                                 platform::MbOk);
            return FileOutcome::Failed;
    }
    return FileOutcome::Converted;
}

std::unique_ptr<AudioSource> FileConversion::OpenSource(const std::string& source,
                                                        std::FILE* file) {
    if (Inputs.ProbeFirst) {
        // The windows' list refuses a file before their worker ever reads it.
        WaveInfo info;
        if (!ProbeWave(file, info, reporter_) || std::fseek(file, 0, SEEK_SET) != 0) {
            return nullptr;
        }
    }
    if (!Inputs.Second) {
        const std::optional<WaveFormat> format = ReadWaveHeader(file, reporter_);
        if (!format || !Convertible(source, *format, reporter_)) {
            return nullptr;
        }
        return ClassicSource(file, *format);
    }
    QuietTarget quiet;
    const std::optional<WaveFormat> format = ReadWaveHeader(file, quiet);
    if (format && Convertible(source, *format, quiet)) {
        return ClassicSource(file, *format);
    }
    return Inputs.Second(file, source, reporter_);
}

std::unique_ptr<AudioSource> ClassicSource(std::FILE* stream, const WaveFormat& format) {
    return std::make_unique<ClassicWave>(stream, format);
}
