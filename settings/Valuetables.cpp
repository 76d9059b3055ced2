#include "Valuetables.h"

namespace {

template <std::size_t N>
const ValueEntry& EntryOrDefault(const std::array<ValueEntry, N>& table, int index) {
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < N;
    return table[static_cast<std::size_t>(inside ? index : DefaultEntryIndex)];
}

}  // namespace

const ValueEntry& Mp3BitrateEntry(int index) {
    return EntryOrDefault(Mp3BitrateTable, index);
}

const ValueEntry& WmaBitrateEntry(int index) {
    return EntryOrDefault(WmaBitrateTable, index);
}

const ValueEntry& OggQualityEntry(int index) {
    return EntryOrDefault(OggQualityTable, index);
}
