// SPDX-License-Identifier: GPL-3.0-or-later
#include <QByteArray>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Banner.h"
#include "HomePage.h"

namespace {

// Reads the movie back the way a player does: bit fields most significant bit first, integers
// little-endian.
class Reader {
  public:
    explicit Reader(const QByteArray& data, qsizetype pos = 0) : data_(data), pos_(pos) {}

    bool AtEnd() const { return pos_ >= data_.size(); }
    qsizetype Pos() const { return pos_; }
    void Skip(qsizetype n) { pos_ += n; }

    unsigned U8() {
        Need(1);
        return static_cast<unsigned char>(data_[pos_++]);
    }
    unsigned U16() {
        const unsigned low = U8();
        return low | (U8() << 8);
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    std::string CString() {
        std::string text;
        for (unsigned c = U8(); c != 0; c = U8()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    uint32_t UB(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            if (bit_ == 0) {
                byte_ = U8();
                bit_ = 8;
            }
            --bit_;
            value = (value << 1) | ((byte_ >> bit_) & 1u);
        }
        return value;
    }
    int32_t SB(int n) {
        const uint32_t raw = UB(n);
        if (n > 0 && (raw & (1u << (n - 1)))) {
            return static_cast<int32_t>(raw | ~((1u << n) - 1));
        }
        return static_cast<int32_t>(raw);
    }
    void Align() { bit_ = 0; }

  private:
    void Need(qsizetype n) const {
        if (pos_ + n > data_.size()) {
            throw std::out_of_range("movie ends early");
        }
    }

    const QByteArray& data_;
    qsizetype pos_;
    unsigned byte_ = 0;
    int bit_ = 0;
};

struct Rect {
    int32_t xMin, xMax, yMin, yMax;
};

Rect ReadRect(Reader& in) {
    const int n = static_cast<int>(in.UB(5));
    Rect r{in.SB(n), in.SB(n), in.SB(n), in.SB(n)};
    in.Align();
    return r;
}

struct GetUrl {
    std::string url;
    std::string target;
    unsigned conditions;
};

// The URL actions of a DefineButton2 body, with the conditions that trigger them.
std::vector<GetUrl> ButtonActions(const QByteArray& body) {
    Reader in(body);
    in.U16();  // button id
    in.U8();   // flags
    const unsigned actionOffset = in.U16();
    std::vector<GetUrl> found;
    if (actionOffset == 0) {
        return found;
    }
    qsizetype condStart = 3 + actionOffset;
    for (;;) {
        Reader cond(body, condStart);
        const unsigned size = cond.U16();
        const unsigned conditions = cond.U16();
        for (unsigned code = cond.U8(); code != 0; code = cond.U8()) {
            const unsigned length = code >= 0x80 ? cond.U16() : 0;
            if (code == 0x83) {
                const qsizetype start = cond.Pos();
                GetUrl action;
                action.url = cond.CString();
                action.target = cond.CString();
                action.conditions = conditions;
                found.push_back(action);
                cond.Skip(start + length - cond.Pos());
            } else {
                cond.Skip(length);
            }
        }
        if (size == 0) {
            break;
        }
        condStart += size;
    }
    return found;
}

struct Movie {
    std::string signature;
    unsigned version = 0;
    uint32_t declaredLength = 0;
    qsizetype actualLength = 0;
    Rect stage{};
    double frameRate = 0;
    unsigned frameCount = 0;
    unsigned shownFrames = 0;
    bool endTagLast = false;
    std::vector<GetUrl> clickActions;
};

Movie Parse(const QByteArray& file) {
    Movie movie;
    Reader head(file);
    movie.signature = file.left(3).toStdString();
    head.Skip(3);
    movie.version = head.U8();
    movie.declaredLength = head.U32();
    // qUncompress wants the inflated size in front, big-endian.
    QByteArray packed(4, '\0');
    qToBigEndian<quint32>(movie.declaredLength - 8, packed.data());
    packed += file.mid(8);
    const QByteArray body = qUncompress(packed);
    movie.actualLength = body.size() + 8;

    Reader in(body);
    movie.stage = ReadRect(in);
    const unsigned fraction = in.U8();
    movie.frameRate = in.U8() + fraction / 256.0;
    movie.frameCount = in.U16();
    while (!in.AtEnd()) {
        const unsigned header = in.U16();
        const unsigned code = header >> 6;
        uint32_t length = header & 0x3F;
        if (length == 0x3F) {
            length = in.U32();
        }
        const QByteArray tag = body.mid(in.Pos(), length);
        in.Skip(length);
        if (code == 1) {
            ++movie.shownFrames;
        } else if (code == 34) {
            const auto actions = ButtonActions(tag);
            movie.clickActions.insert(movie.clickActions.end(), actions.begin(), actions.end());
        } else if (code == 0) {
            movie.endTagLast = in.AtEnd();
            break;
        }
    }
    return movie;
}

TEST(BannerMovieTest, IsACompressedVersion7MovieOfTheBannerSize) {
    const Movie movie = Parse(banner::MovieResource());
    EXPECT_EQ(movie.signature, "CWS");
    EXPECT_EQ(movie.version, 7u);
    EXPECT_EQ(movie.declaredLength, movie.actualLength);
    // 20 units to the pixel: 257 x 65 px from the origin.
    EXPECT_EQ(movie.stage.xMin, 0);
    EXPECT_EQ(movie.stage.yMin, 0);
    EXPECT_EQ(movie.stage.xMax, 257 * 20);
    EXPECT_EQ(movie.stage.yMax, 65 * 20);
    EXPECT_DOUBLE_EQ(movie.frameRate, 12.0);
}

TEST(BannerMovieTest, PlaysForAFewSecondsAndEndsCleanly) {
    const Movie movie = Parse(banner::MovieResource());
    EXPECT_EQ(movie.shownFrames, movie.frameCount);
    EXPECT_GE(movie.frameCount, 2u * 12u);
    EXPECT_LE(movie.frameCount, 10u * 12u);
    EXPECT_TRUE(movie.endTagLast);
}

TEST(BannerMovieTest, AClickOpensTheHomePageInANewWindow) {
    const Movie movie = Parse(banner::MovieResource());
    ASSERT_EQ(movie.clickActions.size(), 1u);
    EXPECT_EQ(movie.clickActions[0].url, HomePage);
    EXPECT_EQ(movie.clickActions[0].target, "_blank");
    // Released over the button, as a click ends.
    EXPECT_EQ(movie.clickActions[0].conditions & 0xFFu, 0x08u);
}

}  // namespace
