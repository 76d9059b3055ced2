// Pack texts in every code page a pack can name: decoding must end, mark exactly the texts it
// could not decode, and never produce more text than bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "Packtext.h"

namespace {

// Every number with a code page of its own, and two that fall back to the system default.
constexpr int kCharSets[] = {0,   1,   2,   77,  128, 129, 134, 136, 161, 162, 163,
                             177, 178, 186, 204, 222, 238, 255, 3,   999, -1};

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
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto length = static_cast<qsizetype>(size);
    for (const int charSet : kCharSets) {
        bool clean = false;
        const QString text = DecodePackText(bytes, charSet, &clean);
        if (text.size() > 2 * length) {
            fuzzing::PropertyFailed("more text than twice the bytes");
        }
        if (CodePageForCharSet(charSet).empty()) {
            continue;
        }
        const bool marked = text.contains(QChar(QChar::ReplacementCharacter));
        if (clean == marked) {
            fuzzing::PropertyFailed(clean ? "a clean text holds a replacement character"
                                          : "an unclean text has no replacement character");
        }
        if (clean && OneCharacterPerByte(charSet) && text.size() != length) {
            fuzzing::PropertyFailed("a single-byte code page did not give one character a byte");
        }
    }
    return 0;
}
