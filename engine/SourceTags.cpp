// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceTags.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <utility>

#include "Packtext.h"

namespace {

// A tag chunk larger than this is not text someone typed; ID3 chunks may carry cover pictures.
constexpr uint64_t kLargestChunk = 64u << 20;

// Windows code pages of a CSET chunk, as the character-set numbers DecodePackText knows.
constexpr std::pair<int, int> kCodePageCharSets[] = {
    {1252, 0},   {1250, 238}, {1251, 204}, {1253, 161}, {1254, 162}, {1255, 177},
    {1256, 178}, {1257, 186}, {1258, 163}, {874, 222},  {932, 128},  {936, 134},
    {949, 129},  {950, 136},  {437, 255},  {10000, 77}, {65001, 1}};

bool Same(const char* id, const char* name) {
    return std::memcmp(id, name, 4) == 0;
}

uint64_t Number(const unsigned char* bytes, int size, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        value |= uint64_t{bytes[bigEndian ? size - 1 - i : i]} << (8 * i);
    }
    return value;
}

// The raw tag blocks of a RIFF/WAVE or IFF/AIFF file.
struct RawTags {
    std::map<std::string, std::vector<std::string>> texts;  // INFO ids or AIFF chunk ids
    std::string bext;
    std::string id3;
    int codePage = 0;
};

void ReadInfoList(const std::string& list, RawTags& raw) {
    for (std::size_t at = 4; at + 8 <= list.size();) {
        const auto size =
            Number(reinterpret_cast<const unsigned char*>(list.data()) + at + 4, 4, false);
        if (size > list.size() - at - 8) {
            break;
        }
        raw.texts[list.substr(at, 4)].push_back(list.substr(at + 8, size));
        at += 8 + size + (size & 1);
    }
}

// False when the file is neither RIFF/WAVE nor AIFF.
bool ReadChunks(std::ifstream& in, RawTags& raw, char (&head)[12]) {
    if (!in.read(head, sizeof head)) {
        return false;
    }
    const bool wave = (Same(head, "RIFF") || Same(head, "RF64")) && Same(head + 8, "WAVE");
    const bool aiff = Same(head, "FORM") && (Same(head + 8, "AIFF") || Same(head + 8, "AIFC"));
    if (!wave && !aiff) {
        return false;
    }
    uint64_t rf64DataSize = 0;
    unsigned char header[8];
    while (in.read(reinterpret_cast<char*>(header), sizeof header)) {
        const char* id = reinterpret_cast<const char*>(header);
        uint64_t size = Number(header + 4, 4, aiff);
        if (Same(id, "data") && size == 0xFFFFFFFF && rf64DataSize != 0) {
            size = rf64DataSize;
        }
        const bool wanted = wave ? Same(id, "LIST") || Same(id, "bext") || Same(id, "id3 ") ||
                                       Same(id, "ID3 ") || Same(id, "CSET") || Same(id, "ds64")
                                 : Same(id, "ID3 ") || Same(id, "NAME") || Same(id, "AUTH") ||
                                       Same(id, "(c) ") || Same(id, "ANNO");
        const std::streamoff next = static_cast<std::streamoff>(in.tellg()) +
                                    static_cast<std::streamoff>(size + (size & 1));
        if (wanted && size <= kLargestChunk) {
            std::string body(size, '\0');
            if (!in.read(body.data(), static_cast<std::streamsize>(size))) {
                break;
            }
            const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
            if (Same(id, "LIST")) {
                if (body.compare(0, 4, "INFO") == 0) {
                    ReadInfoList(body, raw);
                }
            } else if (Same(id, "bext")) {
                raw.bext = std::move(body);
            } else if (Same(id, "id3 ") || Same(id, "ID3 ")) {
                raw.id3 = std::move(body);
            } else if (Same(id, "CSET")) {
                raw.codePage = size >= 2 ? static_cast<int>(Number(bytes, 2, false)) : 0;
            } else if (Same(id, "ds64")) {
                rf64DataSize = size >= 16 ? Number(bytes + 8, 8, false) : 0;
            } else {
                raw.texts[std::string(id, 4)].push_back(std::move(body));
            }
        }
        if (!in.seekg(next)) {
            break;
        }
    }
    return true;
}

void Add(std::vector<std::string>& values, const std::string& text) {
    if (!text.empty()) {
        values.push_back(text);
    }
}

TagValues FromProperties(const TagLib::PropertyMap& properties) {
    TagValues tags;
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        for (const char* key : kTagMappings[i].properties) {
            const auto found = *key != '\0' ? properties.find(key) : properties.end();
            if (found != properties.end()) {
                for (const TagLib::String& value : found->second) {
                    Add(tags.values[i],
                        QString::fromStdString(value.to8Bit(true)).trimmed().toStdString());
                }
            }
            if (!tags.values[i].empty()) {
                break;
            }
        }
    }
    return tags;
}

TagValues FromId3v2(const std::string& bytes) {
    if (bytes.empty()) {
        return {};
    }
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size())));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    return file.ID3v2Tag() != nullptr ? FromProperties(file.ID3v2Tag()->properties()) : TagValues{};
}

// "2024-05-06" and "12:30:00" (EBU allows '-', '_', ':', ' ' or '.' between the parts) as one
// ISO 8601 date; a date of another shape is kept as it is.
std::string BextDate(const std::string& date, const std::string& time) {
    const auto shaped = [](const std::string& text, std::size_t length, const char* digits) {
        if (text.size() != length) {
            return false;
        }
        for (std::size_t i = 0; i < length; ++i) {
            const bool digit = text[i] >= '0' && text[i] <= '9';
            if (digit != (digits[i] == 'd')) {
                return false;
            }
        }
        return true;
    };
    if (!shaped(date, 10, "dddd-dd-dd")) {
        return date;
    }
    std::string iso = date.substr(0, 4) + "-" + date.substr(5, 2) + "-" + date.substr(8, 2);
    if (shaped(time, 8, "dd:dd:dd")) {
        iso += "T" + time.substr(0, 2) + ":" + time.substr(3, 2) + ":" + time.substr(6, 2);
    }
    return iso;
}

TagValues FromChunks(const RawTags& raw) {
    TagValues info;
    TagValues bext;
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        const TagMapping& mapping = kTagMappings[i];
        for (const char* id : mapping.info) {
            if (const auto found = raw.texts.find(id); *id != '\0' && found != raw.texts.end()) {
                for (const std::string& text : found->second) {
                    Add(info.values[i], DecodeChunkText(text, raw.codePage));
                }
            }
            if (!info.values[i].empty()) {
                break;
            }
        }
        const auto found = raw.texts.find(mapping.aiff);
        for (const std::string& text :
             found != raw.texts.end() ? found->second : std::vector<std::string>{}) {
            Add(info.values[i], DecodeChunkText(text, raw.codePage));
        }
    }
    // Description, originator, originator reference, origination date and time.
    if (raw.bext.size() >= 338) {
        const auto field = [&](std::size_t at, std::size_t size) {
            return DecodeChunkText(raw.bext.substr(at, size), raw.codePage);
        };
        Add(bext[TagField::Comment], field(0, 256));
        Add(bext[TagField::Publisher], field(256, 32));
        Add(bext[TagField::Date], BextDate(field(320, 10), field(330, 8)));
    }
    TagValues tags = FromId3v2(raw.id3);
    tags.FillFrom(info);
    tags.FillFrom(bext);
    return tags;
}

}  // namespace

bool TagValues::Empty() const {
    return std::all_of(values.begin(), values.end(), [](const auto& v) { return v.empty(); });
}

void TagValues::FillFrom(const TagValues& other) {
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        if (values[i].empty()) {
            values[i] = other.values[i];
        }
    }
}

std::string DecodeChunkText(const std::string& bytes, int codePage) {
    std::string text = bytes.substr(0, bytes.find('\0'));
    int charSet = 1;  // UTF-8 when valid, else Windows-1252
    for (const auto& [page, set] : kCodePageCharSets) {
        charSet = page == codePage ? set : charSet;
    }
    if (charSet == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }
    return DecodePackText(text, charSet).trimmed().toStdString();
}

TagValues ReadSourceTags(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    RawTags raw;
    if (!in) {
        return {};
    }
    char head[12] = {};
    if (ReadChunks(in, raw, head)) {
        return FromChunks(raw);
    }
    in.close();
    if (!Same(head, "fLaC") && std::memcmp(head, "ID3", 3) != 0) {
        return {};
    }
    TagLib::FLAC::File flac(path.c_str(), TagLib::ID3v2::FrameFactory::instance(), false);
    if (!flac.isValid()) {
        return {};
    }
    TagValues tags;
    if (flac.hasXiphComment()) {
        tags = FromProperties(flac.xiphComment()->properties());
    }
    if (flac.hasID3v2Tag()) {
        tags.FillFrom(FromProperties(flac.ID3v2Tag()->properties()));
    }
    return tags;
}
