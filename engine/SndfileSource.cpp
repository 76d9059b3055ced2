// SPDX-License-Identifier: GPL-3.0-or-later
#include "SndfileSource.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "ErrorText.h"
#include "SourceLayout.h"
#include "Waveinf.h"

namespace {

constexpr int kMostChannels = 8;
constexpr double kHalfPower = 0.70710678118654752;  // -3 dB

// What one source channel gives the left and the right output channel (ITU-R BS.775: centre and
// surrounds at -3 dB, the LFE channel left out).
struct Gain {
    double left = 0;
    double right = 0;
};

std::optional<Gain> GainAt(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            return Gain{1, 0};
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            return Gain{0, 1};
        case SF_CHANNEL_MAP_MONO:
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            return Gain{kHalfPower, kHalfPower};
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            return Gain{kHalfPower, 0};
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            return Gain{0, kHalfPower};
        case SF_CHANNEL_MAP_REAR_CENTER:
        case SF_CHANNEL_MAP_TOP_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        case SF_CHANNEL_MAP_TOP_REAR_CENTER:
            return Gain{0.5, 0.5};
        case SF_CHANNEL_MAP_LFE:
            return Gain{0, 0};
        default:
            return std::nullopt;
    }
}

// The usual WAVE order of a file that names no positions, by channel count (3 to 8).
std::vector<int> UsualOrder(int channels) {
    enum : int {
        L = SF_CHANNEL_MAP_LEFT,
        R = SF_CHANNEL_MAP_RIGHT,
        C = SF_CHANNEL_MAP_CENTER,
        Lfe = SF_CHANNEL_MAP_LFE,
        Bl = SF_CHANNEL_MAP_REAR_LEFT,
        Br = SF_CHANNEL_MAP_REAR_RIGHT,
        Bc = SF_CHANNEL_MAP_REAR_CENTER,
        Sl = SF_CHANNEL_MAP_SIDE_LEFT,
        Sr = SF_CHANNEL_MAP_SIDE_RIGHT,
    };
    static const std::vector<int> kOrders[] = {
        {L, R, C},
        {L, R, Bl, Br},
        {L, R, C, Bl, Br},
        {L, R, C, Lfe, Bl, Br},
        {L, R, C, Lfe, Bc, Sl, Sr},
        {L, R, C, Lfe, Bl, Br, Sl, Sr},
    };
    return kOrders[channels - 3];
}

// The down-mix of a file's channels, scaled so that the loudest possible mix stays at full scale.
std::vector<Gain> MixOf(const std::vector<int>& positions) {
    std::vector<Gain> gains;
    Gain sum;
    for (const int position : positions) {
        const std::optional<Gain> gain = GainAt(position);
        if (!gain) {
            return {};
        }
        gains.push_back(*gain);
        sum.left += gain->left;
        sum.right += gain->right;
    }
    const double loudest = std::max(sum.left, sum.right);
    if (loudest <= 0) {
        return {};
    }
    for (Gain& gain : gains) {
        gain.left /= std::max(loudest, 1.0);
        gain.right /= std::max(loudest, 1.0);
    }
    return gains;
}

// How the library's samples become 16-bit ones.
enum class Depth {
    Narrow,  // 16 bits or fewer: taken as they are, never dithered
    Wide,    // integer samples of more than 16 bits: dithered
    Float,   // floating point (or a decoder's): clipped at full scale, dithered
};

Depth DepthOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_GSM610:
        case SF_FORMAT_VOX_ADPCM:
        case SF_FORMAT_G721_32:
        case SF_FORMAT_G723_24:
        case SF_FORMAT_G723_40:
        case SF_FORMAT_DWVW_12:
        case SF_FORMAT_DWVW_16:
        case SF_FORMAT_DPCM_8:
        case SF_FORMAT_DPCM_16:
        case SF_FORMAT_ALAC_16:
            return Depth::Narrow;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
            return Depth::Float;
        default:
            return Depth::Wide;
    }
}

// The file the library reads: the clean header, then the real file's sample bytes.
struct VirtualFile {
    int descriptor = -1;
    SourceLayout layout;
    sf_count_t position = 0;
    int error = 0;

    sf_count_t Length() const {
        return static_cast<sf_count_t>(layout.Header.size() + layout.DataBytes);
    }
};

VirtualFile& Of(void* user) {
    return *static_cast<VirtualFile*>(user);
}

bool ReadFully(int descriptor, uint64_t offset, void* into, std::size_t size, int& error) {
    auto* bytes = static_cast<unsigned char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(descriptor, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            return false;
        }
        bytes += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

SF_VIRTUAL_IO kVirtualIo = {
    [](void* user) { return Of(user).Length(); },
    [](sf_count_t offset, int whence, void* user) {
        VirtualFile& file = Of(user);
        const sf_count_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? file.position
                                                     : file.Length();
        if (base + offset < 0) {
            return sf_count_t{-1};
        }
        file.position = base + offset;
        return file.position;
    },
    [](void* into, sf_count_t count, void* user) {
        VirtualFile& file = Of(user);
        auto* out = static_cast<char*>(into);
        const sf_count_t end =
            std::min(file.Length(), file.position + std::max<sf_count_t>(count, 0));
        sf_count_t done = 0;
        const auto header = static_cast<sf_count_t>(file.layout.Header.size());
        if (file.position < header && file.position < end) {
            const sf_count_t part = std::min(header, end) - file.position;
            std::memcpy(out, file.layout.Header.data() + file.position,
                        static_cast<std::size_t>(part));
            done = part;
            file.position += part;
        }
        if (file.position < end) {
            const auto part = static_cast<std::size_t>(end - file.position);
            const uint64_t offset =
                file.layout.DataOffset + static_cast<uint64_t>(file.position - header);
            int error = 0;
            if (!ReadFully(file.descriptor, offset, out + done, part, error)) {
                file.error = error != 0 ? error : file.error;
                return done;
            }
            done += static_cast<sf_count_t>(part);
            file.position += static_cast<sf_count_t>(part);
        }
        return done;
    },
    [](const void*, sf_count_t, void*) { return sf_count_t{0}; },
    [](void* user) { return Of(user).position; },
};

// The library's reasons, as a line of ours goes on: "Error : flac decoder lost sync." becomes
// "flac decoder lost sync".
std::string LibraryText(std::string text) {
    if (text.rfind("Error : ", 0) == 0) {
        text.erase(0, 8);
    }
    while (!text.empty() && (text.back() == '.' || text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

// sf_open's reason for a failure is kept in one place for the whole process.
std::mutex openMutex;

class SndfileAudio final : public AudioSource {
  public:
    enum class Opened { Yes, No, TooManyChannels };

    ~SndfileAudio() override {
        if (file_ != nullptr) {
            sf_close(file_);
        }
    }

    Opened Open(int descriptor, SourceLayout layout, std::string& error) {
        virtual_.descriptor = descriptor;
        virtual_.layout = std::move(layout);
        // FLAC and Ogg streams declare their length; a file cut short must not pass for whole.
        wholeFile_ = virtual_.layout.Header.empty();
        {
            std::lock_guard lock(openMutex);
            file_ = sf_open_virtual(&kVirtualIo, SFM_READ, &info_, &virtual_);
            if (file_ == nullptr) {
                error = virtual_.error != 0 ? platform::ErrorText(virtual_.error)
                                            : LibraryText(sf_strerror(nullptr));
                return Opened::No;
            }
        }
        if (info_.channels > kMostChannels) {
            channels_ = info_.channels;
            return Opened::TooManyChannels;
        }
        if (info_.channels < 1 || info_.samplerate < 1) {
            error = "it names no channels or no rate";
            return Opened::No;
        }
        depth_ = DepthOf(info_.format);
        const int channels = info_.channels;
        if (channels > 2) {
            std::vector<int> positions(static_cast<std::size_t>(channels));
            const bool named =
                sf_command(file_, SFC_GET_CHANNEL_MAP_INFO, positions.data(),
                           static_cast<int>(positions.size() * sizeof(int))) == SF_TRUE;
            mix_ = named ? MixOf(positions) : std::vector<Gain>();
            if (mix_.empty()) {
                mix_ = MixOf(UsualOrder(channels));
            }
        }
        shape_.SampleRate = static_cast<uint32_t>(info_.samplerate);
        shape_.Channels = static_cast<uint16_t>(channels > 2 ? 2 : channels);
        const uint64_t frameBytes = 2u * shape_.Channels;
        known_ = info_.frames >= 0 && info_.frames < SF_COUNT_MAX &&
                 static_cast<uint64_t>(info_.frames) < (uint64_t{1} << 60) / frameBytes;
        shape_.Bytes =
            known_ ? static_cast<uint64_t>(info_.frames) * frameBytes : (uint64_t{1} << 60);
        shape_.ShortFileBytes = shape_.Bytes;
        return Opened::Yes;
    }

    int Channels() const { return channels_; }

    const SourceShape& Shape() const override { return shape_; }
    int ReadError() const override { return virtual_.error; }
    std::string DecodeError() const override { return decodeError_; }
    int Descriptor() const override { return virtual_.descriptor; }

    std::string Notice() const override {
        if (clipped_ == 0) {
            return {};
        }
        return std::to_string(clipped_) + (clipped_ == 1 ? " sample was" : " samples were") +
               " beyond full scale and clipped";
    }

    std::size_t Read(int16_t* into, std::size_t bytes) override {
        const std::size_t outChannels = shape_.Channels;
        const auto frames = static_cast<sf_count_t>(bytes / (2 * outChannels));
        if (frames == 0 || !decodeError_.empty() || virtual_.error != 0) {
            return 0;
        }
        const auto inChannels = static_cast<std::size_t>(info_.channels);
        sf_count_t got = 0;
        if (depth_ == Depth::Narrow && mix_.empty()) {
            got = sf_readf_short(file_, into, frames);
        } else {
            got = ReadValues(frames);
            const auto count = static_cast<std::size_t>(got);
            if (mix_.empty()) {
                for (std::size_t i = 0; i < count * inChannels; ++i) {
                    into[i] = Quantise(values_[i]);
                }
            }
            for (std::size_t frame = 0; frame < count && !mix_.empty(); ++frame) {
                double left = 0;
                double right = 0;
                for (std::size_t channel = 0; channel < inChannels; ++channel) {
                    const double value = values_[frame * inChannels + channel];
                    left += value * mix_[channel].left;
                    right += value * mix_[channel].right;
                }
                into[2 * frame] = Quantise(left);
                into[2 * frame + 1] = Quantise(right);
            }
        }
        got = std::max<sf_count_t>(got, 0);
        read_ += static_cast<uint64_t>(got);
        if (got < frames) {
            Ended();
        }
        return static_cast<std::size_t>(got) * outChannels * 2;
    }

  private:
    // Reads frames as values of full scale 1 into values_.
    sf_count_t ReadValues(sf_count_t frames) {
        const auto samples =
            static_cast<std::size_t>(frames) * static_cast<std::size_t>(info_.channels);
        values_.resize(samples);
        if (depth_ == Depth::Float) {
            const sf_count_t got = sf_readf_double(file_, values_.data(), frames);
            for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) *
                                            static_cast<std::size_t>(info_.channels);
                 ++i) {
                double& value = values_[i];
                if (std::isnan(value)) {
                    value = 0;
                } else if (std::fabs(value) > 1.0) {
                    value = value > 0 ? 1.0 : -1.0;
                    ++clipped_;
                }
            }
            return got;
        }
        if (depth_ == Depth::Narrow) {
            narrow_.resize(samples);
            const sf_count_t got = sf_readf_short(file_, narrow_.data(), frames);
            std::transform(narrow_.begin(), narrow_.end(), values_.begin(),
                           [](short value) { return value / 32768.0; });
            return got;
        }
        wide_.resize(samples);
        const sf_count_t got = sf_readf_int(file_, wide_.data(), frames);
        std::transform(wide_.begin(), wide_.end(), values_.begin(),
                       [](int value) { return value / 2147483648.0; });
        return got;
    }

    // A value of full scale 1 as a 16-bit sample: rounded, with triangular dither of one step
    // either way where the source has more resolution than 16 bits.
    int16_t Quantise(double value) {
        double scaled = value * 32768.0;
        if (depth_ != Depth::Narrow) {
            scaled += Uniform() - Uniform();
        }
        const double rounded = std::floor(scaled + 0.5);
        return static_cast<int16_t>(std::clamp(rounded, -32768.0, 32767.0));
    }

    // xorshift64*, from the same seed for every file.
    double Uniform() {
        random_ ^= random_ >> 12;
        random_ ^= random_ << 25;
        random_ ^= random_ >> 27;
        return static_cast<double>((random_ * 2685821657736338717ull) >> 11) * 0x1.0p-53;
    }

    void Ended() {
        if (sf_error(file_) != SF_ERR_NO_ERROR) {
            decodeError_ = LibraryText(sf_strerror(file_));
        } else if (wholeFile_ && known_ && read_ < static_cast<uint64_t>(info_.frames)) {
            decodeError_ = "it ends after " + std::to_string(read_) + " of its " +
                           std::to_string(info_.frames) + " frames";
        }
    }

    VirtualFile virtual_;
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    SourceShape shape_;
    Depth depth_ = Depth::Narrow;
    std::vector<Gain> mix_;  // empty: the channels go through as they are
    std::vector<double> values_;
    std::vector<short> narrow_;
    std::vector<int> wide_;
    uint64_t random_ = 0x9E3779B97F4A7C15ull;
    uint64_t clipped_ = 0;
    uint64_t read_ = 0;
    bool known_ = false;
    bool wholeFile_ = false;
    int channels_ = 0;
    std::string decodeError_;
};

}  // namespace

std::unique_ptr<AudioSource> OpenWithSndfile(std::FILE* stream, const std::string& source,
                                             platform::MessageTarget& messages) {
    const auto fail = [&](const std::string& why) {
        messages.MessageBox("Could not read '" + source + "': " + why, "Error", platform::MbOk);
        return nullptr;
    };
    const int descriptor = fileno(stream);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return fail(platform::ErrorText(errno));
    }
    int readError = 0;
    const ReadAt read = [&](uint64_t offset, void* into, std::size_t size) {
        return ReadFully(descriptor, offset, into, size, readError);
    };
    std::string error;
    std::optional<SourceLayout> layout =
        LayOut(read, static_cast<uint64_t>(std::max<off_t>(status.st_size, 0)), error);
    if (!layout) {
        return fail(readError != 0 ? platform::ErrorText(readError) : error);
    }
    auto audio = std::make_unique<SndfileAudio>();
    switch (audio->Open(descriptor, std::move(*layout), error)) {
        case SndfileAudio::Opened::Yes:
            return audio;
        case SndfileAudio::Opened::TooManyChannels:
            ReportChannelCount(source, static_cast<unsigned>(audio->Channels()), messages);
            return nullptr;
        case SndfileAudio::Opened::No:
            break;
    }
    return fail(error);
}
