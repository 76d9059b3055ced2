// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// The fields copied from a source into its output, and where each is read and written.
enum class TagField { Title, Artist, Album, Date, Track, Genre, Comment, Copyright, Publisher };

struct TagMapping {
    TagField field;
    const char* name;  // the field's common name (FFmpeg's key for it in MP3 and WMA files)
    // Read from a source: WAVE LIST/INFO ids (the first present wins), the bext field, AIFF's
    // text chunk, and TagLib's property keys of an ID3v2 tag (WAVE, AIFF, FLAC) and of a FLAC
    // file's Vorbis comment. Empty: the block has no such field.
    std::array<const char*, 2> info;
    const char* bext;
    const char* aiff;
    std::array<const char*, 3> properties;
    // Written: the ID3v2.4 frame of MP3, the Vorbis comment of Ogg, the ASF attribute of WMA.
    const char* id3v2;
    const char* vorbis;
    const char* asf;
};

inline constexpr std::array<TagMapping, 9> kTagMappings{{
    {TagField::Title,
     "title",
     {"INAM", ""},
     "",
     "NAME",
     {"TITLE", "", ""},
     "TIT2",
     "TITLE",
     "Title"},
    {TagField::Artist,
     "artist",
     {"IART", ""},
     "",
     "AUTH",
     {"ARTIST", "", ""},
     "TPE1",
     "ARTIST",
     "Author"},
    {TagField::Album,
     "album",
     {"IPRD", ""},
     "",
     "",
     {"ALBUM", "", ""},
     "TALB",
     "ALBUM",
     "WM/AlbumTitle"},
    // A bext date joins its origination date and time ("2024-05-06T12:30:00").
    {TagField::Date,
     "date",
     {"ICRD", ""},
     "OriginationDate",
     "",
     {"DATE", "", ""},
     "TDRC",
     "DATE",
     "WM/Year"},
    {TagField::Track,
     "track",
     {"ITRK", "IPRT"},
     "",
     "",
     {"TRACKNUMBER", "", ""},
     "TRCK",
     "TRACKNUMBER",
     "WM/TrackNumber"},
    {TagField::Genre,
     "genre",
     {"IGNR", ""},
     "",
     "",
     {"GENRE", "", ""},
     "TCON",
     "GENRE",
     "WM/Genre"},
    // Vorbis comments call a free-text comment DESCRIPTION; many writers say COMMENT.
    {TagField::Comment,
     "comment",
     {"ICMT", ""},
     "Description",
     "ANNO",
     {"COMMENT", "DESCRIPTION", ""},
     "COMM",
     "DESCRIPTION",
     "Description"},
    {TagField::Copyright,
     "copyright",
     {"ICOP", ""},
     "",
     "(c) ",
     {"COPYRIGHT", "", ""},
     "TCOP",
     "COPYRIGHT",
     "Copyright"},
    // bext's originator: who made the recording, the nearest the other formats have is a label.
    {TagField::Publisher,
     "publisher",
     {"", ""},
     "Originator",
     "",
     {"LABEL", "ORGANIZATION", "PUBLISHER"},
     "TPUB",
     "ORGANIZATION",
     "WM/Publisher"},
}};

inline constexpr std::size_t kTagFieldCount = kTagMappings.size();

// WM/Year holds a year of four digits by Windows' convention; the other formats keep the date.
std::string AsfYear(const std::string& date);

// A source's tags: each field's values, UTF-8 text, in the order of kTagMappings.
struct TagValues {
    std::array<std::vector<std::string>, kTagFieldCount> values;
    bool Empty() const;
    std::vector<std::string>& operator[](TagField field) {
        return values[static_cast<std::size_t>(field)];
    }
    const std::vector<std::string>& operator[](TagField field) const {
        return values[static_cast<std::size_t>(field)];
    }
    // Takes each field that this one lacks from `other`.
    void FillFrom(const TagValues& other);
};
