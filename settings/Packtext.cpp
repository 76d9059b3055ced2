// SPDX-License-Identifier: GPL-3.0-or-later
#include "Packtext.h"

#include <QStringDecoder>

#include <iconv.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace {

QString Decode(const std::string& bytes, const char* codePage, bool* clean) {
    iconv_t converter = iconv_open("UTF-16LE", codePage);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // No converter for this code page on this system: show what we can rather than nothing.
        if (clean != nullptr) {
            *clean = false;
        }
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    QString text;
    std::vector<char> out(4 * bytes.size() + 16);
    // Converts what `input` holds; without input it hands over what the converter still holds
    // back and resets it. Gives iconv's errno, 0 on success.
    const auto convert = [&](char** input, std::size_t* inputLeft) {
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        const std::size_t result = iconv(converter, input, inputLeft, &outPtr, &outLeft);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        const auto produced = static_cast<qsizetype>((out.size() - outLeft) / 2);
        text.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(out.data()), produced));
        return error;
    };
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        const int error = convert(&in, &inLeft);
        if (error == 0 || error == E2BIG) {
            continue;
        }
        // An invalid or truncated sequence: mark it and go on after its first byte. The
        // converters of code pages with combining marks (CP1255, CP1258) hold back the character
        // before it, which comes first.
        convert(nullptr, nullptr);
        if (clean != nullptr) {
            *clean = false;
        }
        text.append(QChar(QChar::ReplacementCharacter));
        // glibc's CP949 converter steps over some invalid pairs itself: at the end of the text
        // there is then no byte left to skip.
        if (inLeft > 0) {
            ++in;
            --inLeft;
        }
    }
    convert(nullptr, nullptr);
    iconv_close(converter);
    return text;
}

bool IsValidUtf8(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text =
        decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError();
}

}  // namespace

std::string CodePageForCharSet(int charSet) {
    static constexpr std::pair<int, const char*> kCodePages[] = {
        {0, "CP1252"},   {2, "CP1252"},   {77, "MACINTOSH"}, {128, "CP932"},  {129, "CP949"},
        {134, "GBK"},    {136, "BIG5"},   {161, "CP1253"},   {162, "CP1254"}, {163, "CP1258"},
        {177, "CP1255"}, {178, "CP1256"}, {186, "CP1257"},   {204, "CP1251"}, {222, "CP874"},
        {238, "CP1250"}, {255, "CP437"}};
    for (const auto& [number, codePage] : kCodePages) {
        if (number == charSet) {
            return codePage;
        }
    }
    return {};
}

QString DecodePackText(const std::string& bytes, int charSet, bool* clean) {
    if (clean != nullptr) {
        *clean = true;
    }
    std::string codePage = CodePageForCharSet(charSet);
    if (codePage.empty()) {
        if (IsValidUtf8(bytes)) {
            return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        }
        codePage = "CP1252";
    }
    return Decode(bytes, codePage.c_str(), clean);
}
