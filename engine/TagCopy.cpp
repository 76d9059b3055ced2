// SPDX-License-Identifier: GPL-3.0-or-later
#include "TagCopy.h"

#include <taglib/asffile.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ErrorText.h"

namespace {

// TagLib's own file stream drops the results of its writes: a full disk would pass for a tagged
// file. This one notes the first failure, and claims the room a file grows by before it moves
// anything, so that a full disk stops it while the audio is still where it was.
class CheckedStream final : public TagLib::IOStream {
  public:
    explicit CheckedStream(const std::string& path)
        : path_(path), file_(std::fopen(path.c_str(), "r+b")) {
        if (file_ == nullptr) {
            error_ = errno != 0 ? errno : EIO;
        } else {
            // Unbuffered: a write that fails is seen at once, and nothing is left to be written
            // behind our back when the file is cut back after a failure.
            std::setvbuf(file_, nullptr, _IONBF, 0);
        }
    }
    ~CheckedStream() override { Close(); }

    // Closes the file; the first error met, 0 when every write and the close went through.
    int Close() {
        if (file_ != nullptr && std::fclose(file_) != 0 && error_ == 0) {
            error_ = errno != 0 ? errno : EIO;
        }
        file_ = nullptr;
        return error_;
    }

    TagLib::FileName name() const override { return path_.c_str(); }
    bool readOnly() const override { return false; }
    bool isOpen() const override { return file_ != nullptr; }

    TagLib::ByteVector readBlock(unsigned long length) override {
        TagLib::ByteVector block(static_cast<unsigned int>(length), 0);
        if (file_ == nullptr || length == 0) {
            return TagLib::ByteVector();
        }
        block.resize(static_cast<unsigned int>(std::fread(block.data(), 1, length, file_)));
        Note(std::ferror(file_) != 0);
        return block;
    }

    void writeBlock(const TagLib::ByteVector& data) override {
        if (file_ == nullptr || error_ != 0) {
            return;
        }
        // A write after a read needs a seek between them; a read after a write, a flush.
        Note(std::fseek(file_, 0, SEEK_CUR) != 0 ||
             std::fwrite(data.data(), 1, data.size(), file_) != data.size() ||
             std::fflush(file_) != 0);
    }

    void insert(const TagLib::ByteVector& data, unsigned long start,
                unsigned long replace) override {
        const long size = length();
        const long grow = static_cast<long>(data.size()) - static_cast<long>(replace);
        if (grow < 0) {
            removeBlock(start + data.size(), static_cast<unsigned long>(-grow));
        }
        if (grow > 0) {
            // The room first: a full disk fails here, before anything has moved.
            seek(size);
            writeBlock(TagLib::ByteVector(static_cast<unsigned int>(grow), 0));
            if (error_ != 0) {
                std::error_code ignored;
                std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(size), ignored);
                return;
            }
        }
        // From the end backwards, so that nothing is overwritten before it has moved.
        for (long end = size;
             grow > 0 && end > static_cast<long>(start + replace) && error_ == 0;) {
            const long from = std::max(static_cast<long>(start + replace), end - kMoveBlock);
            seek(from);
            const TagLib::ByteVector block = readBlock(static_cast<unsigned long>(end - from));
            seek(from + grow);
            writeBlock(block);
            end = from;
        }
        seek(static_cast<long>(start));
        writeBlock(data);
    }

    void removeBlock(unsigned long start, unsigned long length) override {
        const long size = this->length();
        for (long from = static_cast<long>(start + length); from < size && error_ == 0;) {
            seek(from);
            const TagLib::ByteVector block = readBlock(kMoveBlock);
            seek(from - static_cast<long>(length));
            writeBlock(block);
            from += static_cast<long>(block.size());
            Note(block.isEmpty());
        }
        if (error_ == 0) {
            truncate(size - static_cast<long>(length));
        }
    }

    void seek(long offset, Position position = Beginning) override {
        const int whence = position == Beginning ? SEEK_SET
                           : position == Current ? SEEK_CUR
                                                 : SEEK_END;
        if (file_ != nullptr) {
            Note(std::fseek(file_, offset, whence) != 0);
        }
    }
    void clear() override {
        if (file_ != nullptr) {
            std::clearerr(file_);
        }
    }
    long tell() const override { return file_ != nullptr ? std::ftell(file_) : 0; }
    long length() override {
        if (file_ == nullptr) {
            return 0;
        }
        const long at = tell();
        seek(0, End);
        const long end = tell();
        seek(at);
        return end;
    }
    void truncate(long length) override {
        std::error_code failure;
        if (file_ == nullptr || std::fflush(file_) != 0) {
            Note(true);
            return;
        }
        std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(length), failure);
        if (failure && error_ == 0) {
            error_ = failure.value();
        }
    }

  private:
    static constexpr long kMoveBlock = 1 << 20;

    void Note(bool failed) {
        if (failed && error_ == 0) {
            error_ = errno != 0 ? errno : EIO;
        }
    }

    std::string path_;
    std::FILE* file_;
    int error_ = 0;
};

TagLib::String Text(const std::string& utf8) {
    return TagLib::String(utf8, TagLib::String::UTF8);
}

TagLib::StringList Texts(const std::vector<std::string>& values) {
    TagLib::StringList list;
    for (const std::string& value : values) {
        list.append(Text(value));
    }
    return list;
}

bool WriteId3v2(CheckedStream& stream, const TagValues& tags) {
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid()) {
        return false;
    }
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    for (const TagMapping& mapping : kTagMappings) {
        const std::vector<std::string>& values = tags[mapping.field];
        if (values.empty()) {
            continue;
        }
        // A comment frame holds one text under a description and a language (unknown: "XXX").
        if (std::string_view(mapping.id3v2) == "COMM") {
            auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
            comment->setLanguage("XXX");
            comment->setText(Texts(values).toString("\n"));
            tag->addFrame(comment);
        } else {
            auto* frame =
                new TagLib::ID3v2::TextIdentificationFrame(mapping.id3v2, TagLib::String::UTF8);
            frame->setText(Texts(values));
            tag->addFrame(frame);
        }
    }
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

bool WriteVorbisComment(CheckedStream& stream, const TagValues& tags) {
    TagLib::Ogg::Vorbis::File file(&stream, false);
    if (!file.isValid()) {
        return false;
    }
    TagLib::Ogg::XiphComment* comment = file.tag();
    for (const TagMapping& mapping : kTagMappings) {
        const std::vector<std::string>& values = tags[mapping.field];
        if (values.empty()) {
            continue;
        }
        // The source's field replaces what the encoder library put there ("Title Unknown"),
        // and a comment also the library's own COMMENT line, so that readers see one comment.
        comment->removeFields(mapping.vorbis);
        if (mapping.field == TagField::Comment) {
            comment->removeFields("COMMENT");
        }
        for (const std::string& value : values) {
            comment->addField(mapping.vorbis, Text(value), false);
        }
    }
    return file.save();
}

bool WriteAsf(CheckedStream& stream, const TagValues& tags) {
    TagLib::ASF::File file(&stream, false);
    if (!file.isValid()) {
        return false;
    }
    TagLib::ASF::Tag* tag = file.tag();
    for (const TagMapping& mapping : kTagMappings) {
        const std::vector<std::string>& values = tags[mapping.field];
        if (values.empty()) {
            continue;
        }
        const std::string_view name = mapping.asf;
        // These four live in the content description object, one text each.
        const TagLib::String joined = Texts(values).toString("; ");
        if (name == "Title") {
            tag->setTitle(joined);
        } else if (name == "Author") {
            tag->setArtist(joined);
        } else if (name == "Copyright") {
            tag->setCopyright(joined);
        } else if (name == "Description") {
            tag->setComment(joined);
        } else {
            TagLib::ASF::AttributeList list;
            for (const std::string& value : values) {
                list.append(TagLib::ASF::Attribute(
                    Text(mapping.field == TagField::Date ? AsfYear(value) : value)));
            }
            tag->setAttribute(mapping.asf, list);
        }
    }
    return file.save();
}

}  // namespace

std::string AsfYear(const std::string& date) {
    const bool year = date.size() >= 4 && std::all_of(date.begin(), date.begin() + 4,
                                                      [](char c) { return c >= '0' && c <= '9'; });
    return year ? date.substr(0, 4) : date;
}

bool WriteTags(const std::string& path, OutputFormat format, const TagValues& tags,
               std::string& error) {
    if (tags.Empty()) {
        return true;
    }
    CheckedStream stream(path);
    bool saved = stream.isOpen();
    if (saved) {
        switch (format) {
            case OutputFormat::MP3:
                saved = WriteId3v2(stream, tags);
                break;
            case OutputFormat::OGG:
                saved = WriteVorbisComment(stream, tags);
                break;
            case OutputFormat::WMA:
                saved = WriteAsf(stream, tags);
                break;
        }
    }
    const int failure = stream.Close();
    if (failure != 0 || !saved) {
        error = failure != 0 ? platform::ErrorText(failure) : "its tags could not be written";
        return false;
    }
    return true;
}
