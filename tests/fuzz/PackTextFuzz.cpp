// SPDX-License-Identifier: GPL-3.0-or-later
// Pack texts under every CharSet number a pack can hold (one byte, 0 to 255), taken from the
// input's first byte: decoding must end, mark exactly the texts it could not decode, and never
// produce more text than bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "Packtext.h"

namespace {

// One character for each byte when the text is clean: no composition, no multi-byte sequences.
bool OneCharacterPerByte(int charSet) {
    switch (charSet) {
        case 0:
        case 2:
        case 161:
        case 162:
        case 178:
        case 186:
        case 204:
        case 238:
        case 255:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int charSet = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto length = static_cast<qsizetype>(bytes.size());
    bool clean = false;
    const QString text = DecodePackText(bytes, charSet, &clean);
    if (text.size() > 2 * length) {
        fuzzing::PropertyFailed("more text than twice the bytes");
    }
    if (CodePageForCharSet(charSet).empty()) {
        // The system default: valid UTF-8 may itself hold a replacement character.
        return 0;
    }
    const bool marked = text.contains(QChar(QChar::ReplacementCharacter));
    if (clean == marked) {
        fuzzing::PropertyFailed(clean ? "a clean text holds a replacement character"
                                      : "an unclean text has no replacement character");
    }
    if (clean && OneCharacterPerByte(charSet) && text.size() != length) {
        fuzzing::PropertyFailed("a single-byte code page did not give one character a byte");
    }
    return 0;
}
