// The ID3v2 tag at the start of a file: versions 2.2, 2.3 and 2.4.
#include "tags/id3v2_reader.h"

#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/text_encoding.h"
#include "tags/field_text.h"
#include "tags/song_tags.h"
#include "tags/tag_file.h"

namespace tembrel {
namespace id3v2 {
namespace {

constexpr std::size_t kFooterSize = 10;

// Tag header flags.
constexpr uint8_t kTagUnsynchronised = 0x80;
constexpr uint8_t kTagExtendedHeader = 0x40;  // in 2.2: the whole tag is compressed
constexpr uint8_t kTagFooter = 0x10;

// Frame format flags (second flag byte).
constexpr uint8_t kV3Compressed = 0x80;
constexpr uint8_t kV3Encrypted = 0x40;
constexpr uint8_t kV3Grouped = 0x20;
constexpr uint8_t kV4Grouped = 0x40;
constexpr uint8_t kV4Compressed = 0x08;
constexpr uint8_t kV4Encrypted = 0x04;
constexpr uint8_t kV4Unsynchronised = 0x02;
constexpr uint8_t kV4DataLength = 0x01;

struct FrameHeader {
    std::string_view id;
    std::size_t headerSize;
    std::size_t contentSize;
    uint8_t formatFlags;
};

std::size_t idLength(const FrameArea& area) {
    return area.version == 2 ? 3 : 4;
}
std::size_t headerLength(const FrameArea& area) {
    return area.version == 2 ? 6 : 10;
}

std::optional<FrameHeader> headerAt(const FrameArea& area, std::size_t position) {
    const auto bytes = area.bytes;
    const std::size_t headerSize = headerLength(area);
    if (position >= bytes.size() || bytes[position] == 0)
        return std::nullopt;
    if (bytes.size() - position < headerSize)
        return std::nullopt;
    auto h = bytes.subspan(position, headerSize);
    std::size_t contentSize = 0;
    uint8_t formatFlags = 0;
    if (area.version == 2) {
        contentSize = bytes::readBE(h.subspan(3), 3);
    } else {
        contentSize = (area.version == 3 || area.plainSizes)
                          ? bytes::readBE32(h.subspan(4))
                          : decodeSynchsafe(h[4], h[5], h[6], h[7]);
        formatFlags = h[9];
    }
    if (contentSize > bytes.size() - position - headerSize)
        return std::nullopt;
    std::string_view id(reinterpret_cast<const char*>(h.data()), idLength(area));
    return FrameHeader{id, headerSize, contentSize, formatFlags};
}

// The frame's data without the bytes its flags add, unsynchronisation undone; nothing
// for compressed or encrypted frames, whose data is not text.
std::optional<std::vector<uint8_t>> payloadOf(const FrameArea& area, const FrameHeader& header,
                                              std::size_t position) {
    auto content = area.bytes.subspan(position + header.headerSize, header.contentSize);
    std::vector<uint8_t> data(content.begin(), content.end());
    std::size_t skip = 0;
    const uint8_t flags = header.formatFlags;
    if (area.version == 3) {
        if (flags & (kV3Compressed | kV3Encrypted))
            return std::nullopt;
        if (flags & kV3Grouped)
            skip += 1;
    } else if (area.version == 4) {
        if (flags & (kV4Compressed | kV4Encrypted))
            return std::nullopt;
        if (area.unsynchronised || (flags & kV4Unsynchronised))
            data.resize(undoUnsynchronisation(data));
        if (flags & kV4Grouped)
            skip += 1;
        if (flags & kV4DataLength)
            skip += 4;
    }
    if (skip > data.size())
        return std::nullopt;
    data.erase(data.begin(), data.begin() + std::ptrdiff_t(skip));
    return data;
}

std::string_view asChars(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Blanks in front of a text are dropped, as are zero bytes before a one-byte text.
std::string_view skipLeadingBlanks(std::string_view text, bool zerosToo) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (zerosToo && text[i] == '\0')))
        ++i;
    return text.substr(i);
}

struct DecodedText {
    std::string text;  // CP932 bytes (or the stored bytes for encoding 0)
    bool converted;    // the text was converted, so it may be cut only between characters
    std::span<const uint8_t> rest;  // what follows the text's terminator
    bool lossy = false;             // the conversion replaced characters
};

bool isUtf16(uint8_t encoding) {
    return encoding == 1 || encoding == 2;
}

// One text in `encoding` from the front of `bytes`, up to its terminator (a zero byte,
// or a zero 16-bit unit for UTF-16).
DecodedText takeText(uint8_t encoding, std::span<const uint8_t> bytes) {
    std::size_t end = 0;
    std::size_t terminator = 0;
    if (isUtf16(encoding)) {
        while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0))
            end += 2;
        if (end + 1 < bytes.size()) {
            terminator = 2;
        } else {
            end = bytes.size();  // unterminated; an odd final byte is replaced visibly
        }
    } else {
        while (end < bytes.size() && bytes[end] != 0)
            ++end;
        if (end < bytes.size())
            terminator = 1;
    }
    auto raw = bytes.first(end);
    DecodedText out{{}, encoding != 0, bytes.subspan(end + terminator)};
    if (encoding == 0)
        out.text = std::string(asChars(raw));
    else if (encoding == 3)
        out.text = text::utf8ToCp932(asChars(raw), &out.lossy);
    else  // UTF-16 missing its byte-order mark comes from little-endian writers
        out.text = text::utf16ToCp932(raw, encoding == 2, &out.lossy);
    return out;
}

// A text frame's value: the encoding byte, then the text.
std::optional<DecodedText> textFrameValue(std::span<const uint8_t> data) {
    if (data.empty())
        return DecodedText{{}, false, {}};
    const uint8_t encoding = data[0];
    if (encoding > 3) {
        // No valid encoding byte: the content is taken as stored text.
        auto text = skipLeadingBlanks(asChars(data), true);
        return DecodedText{std::string(text.substr(0, text.find('\0'))), false, {}};
    }
    auto body = data.subspan(1);
    if (!isUtf16(encoding)) {
        std::size_t blanks = asChars(body).size() - skipLeadingBlanks(asChars(body), true).size();
        body = body.subspan(blanks);
    }
    DecodedText value = takeText(encoding, body);
    value.text = std::string(skipLeadingBlanks(value.text, false));
    return value;
}

// A comment's value: encoding, language, description, text. Comments with a description
// (player data such as "iTunNORM") are passed over.
std::optional<DecodedText> commentValue(std::span<const uint8_t> data) {
    if (data.size() < 4 || data[0] > 3)
        return std::nullopt;
    const uint8_t encoding = data[0];
    DecodedText description = takeText(encoding, data.subspan(4));
    if (!description.text.empty())
        return std::nullopt;
    DecodedText value = takeText(encoding, description.rest);
    value.text = std::string(skipLeadingBlanks(value.text, false));
    return value;
}

// A user URL's value: encoding, description, then the URL in one-byte characters.
std::optional<DecodedText> urlValue(std::span<const uint8_t> data) {
    if (data.empty() || data[0] > 3)
        return std::nullopt;
    DecodedText description = takeText(data[0], data.subspan(1));
    auto url = skipLeadingBlanks(asChars(description.rest), true);
    return DecodedText{std::string(url.substr(0, url.find('\0'))), false, {}};
}

}  // namespace

uint32_t decodeSynchsafe(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t(b0 & 0x7F) << 21 | uint32_t(b1 & 0x7F) << 14 | uint32_t(b2 & 0x7F) << 7 | b3;
}

std::optional<uint64_t> tagSize(std::span<const uint8_t> header) {
    if (header.size() < kTagHeaderSize || header[0] != 'I' || header[1] != 'D' || header[2] != '3')
        return std::nullopt;
    const bool hasFooter = header[3] == 4 && (header[5] & kTagFooter);
    return kTagHeaderSize + uint64_t(decodeSynchsafe(header[6], header[7], header[8], header[9])) +
           (hasFooter ? kFooterSize : 0);
}

std::size_t undoUnsynchronisation(std::span<uint8_t> bytes) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < bytes.size(); ++in) {
        bytes[out++] = bytes[in];
        if (bytes[in] == 0xFF && in + 1 < bytes.size() && bytes[in + 1] == 0x00)
            ++in;
    }
    return out;
}

std::string_view frameIdAt(const FrameArea& area, std::size_t position) {
    const std::size_t n = idLength(area);
    if (position >= area.bytes.size() || area.bytes.size() - position < n)
        return {};
    if (area.bytes[position] == 0)
        return {};
    return asChars(area.bytes.subspan(position, n));
}

bool walksCleanly(const FrameArea& area) {
    for (std::size_t position = 0; position < area.bytes.size();) {
        if (area.bytes[position] == 0)
            return true;
        auto header = headerAt(area, position);
        if (!header)
            return false;
        for (char c : header->id) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                return false;
        }
        position += header->headerSize + header->contentSize;
    }
    return true;
}

FrameStep readTextFrame(std::span<char> field, const FrameArea& area, std::size_t position,
                        std::string_view id) {
    auto header = headerAt(area, position);
    if (!header || (!id.empty() && header->id != id))
        return {};
    FrameStep step{header->headerSize + header->contentSize, false};
    if (field.empty())
        return step;
    auto data = payloadOf(area, *header, position);
    if (!data)
        return step;

    std::optional<DecodedText> value;
    const std::string_view kind = header->id;
    if (kind == "COMM" || kind == "COM")
        value = commentValue(*data);
    else if (kind == "WXXX" || kind == "WXX")
        value = urlValue(*data);
    else
        value = textFrameValue(*data);
    if (!value)
        return step;

    if (value->converted)
        storeCp932Field(field, value->text);
    else
        storeField(field, value->text);
    step.stored = true;
    step.lossy = value->lossy;
    return step;
}

}  // namespace id3v2

namespace {

// The field a frame id fills, by tag version; TRCK goes to a text read as a number later.
std::span<char> fieldFor(SongTags& tags, std::string_view id, uint8_t version,
                         std::span<char> trackText) {
    struct Mapping {
        const char* v2;
        const char* v3;
        std::span<char> field;
    };
    const std::array<Mapping, 13> table{{
        {"TT2", "TIT2", tags.title},
        {"TP1", "TPE1", tags.artist},
        {"TRK", "TRCK", trackText},
        {"TAL", "TALB", tags.album},
        {"TYE", "TYER", tags.year},
        {"", "TDRC", tags.year},
        {"TCO", "TCON", tags.genre},
        {"COM", "COMM", tags.comment},
        {"TCM", "TCOM", tags.composer},
        {"TOA", "TOPE", tags.sourceArtist},
        {"TCR", "TCOP", tags.copyright},
        {"WXX", "WXXX", tags.url},
        {"TSS", "TSSE", tags.software},
    }};
    for (const Mapping& m : table) {
        std::string_view known = version == 2 ? m.v2 : m.v3;
        if (!known.empty() && known == id)
            return m.field;
    }
    return {};
}

}  // namespace

bool SongTags::readId3v2(const std::string& path) {
    TagFile file(path);
    std::array<uint8_t, id3v2::kTagHeaderSize> header{};
    if (file.readAt(0, header) != header.size())
        return false;
    const auto tagEnd = id3v2::tagSize(header);
    // A tag larger than the file is damage, not a reason to read or allocate more.
    if (!tagEnd || *tagEnd > file.size())
        return false;
    std::vector<uint8_t> tag(static_cast<std::size_t>(*tagEnd));
    if (file.readAt(0, tag) != tag.size())
        return false;
    dataOffset = clampToInt32(*tagEnd);
    dataLength = clampToInt32(file.size() - *tagEnd);
    return parseId3v2Tag(tag);
}

bool SongTags::parseId3v2Tag(std::span<const uint8_t> tag) {
    using namespace id3v2;
    const auto size = tagSize(tag);
    if (!size || *size > tag.size())
        return false;
    const uint8_t version = tag[3];
    const uint8_t flags = tag[5];
    // Frames are undone in place (unsynchronisation), so they are worked on in a copy.
    std::vector<uint8_t> body(tag.begin() + kTagHeaderSize,
                              tag.begin() + std::ptrdiff_t(kTagHeaderSize) +
                                  std::ptrdiff_t(decodeSynchsafe(tag[6], tag[7], tag[8], tag[9])));

    // Other versions lay their frames out differently; a compressed 2.2 tag cannot be read.
    if (version < 2 || version > 4)
        return true;
    if (version == 2 && (flags & kTagExtendedHeader))
        return true;

    std::span<uint8_t> frames(body);
    if ((flags & kTagUnsynchronised) && version < 4)
        frames = frames.first(undoUnsynchronisation(frames));
    if (flags & kTagExtendedHeader) {
        if (frames.size() < 4)
            return true;
        // 2.3 counts the bytes after the size field; 2.4 counts the whole header.
        uint64_t extended = version == 3
                                ? 4 + uint64_t(bytes::readBE32(frames))
                                : decodeSynchsafe(frames[0], frames[1], frames[2], frames[3]);
        if (extended < 4 || extended > frames.size())
            return true;
        frames = frames.subspan(std::size_t(extended));
    }
    FrameArea area{frames, version, version == 4 && (flags & kTagUnsynchronised)};
    if (version == 4 && !walksCleanly(area)) {
        // Some writers store 2.4 frame sizes as plain numbers; take that reading only
        // when it fits the frames and the synchsafe one does not.
        FrameArea plain = area;
        plain.plainSizes = true;
        if (walksCleanly(plain))
            area = plain;
    }
    std::array<char, 256> trackText{};
    bool commentTaken = false;
    bool genreTaken = false;
    bool yearIsTimestamp = false;
    for (std::size_t position = 0;;) {
        std::string_view id = frameIdAt(area, position);
        std::span<char> field =
            id.empty() ? std::span<char>{} : fieldFor(*this, id, version, trackText);
        const bool isComment = id == "COMM" || id == "COM";
        // The first comment without a description wins; later ones are passed over.
        if (isComment && commentTaken)
            field = {};
        FrameStep step = readTextFrame(field, area, position, id);
        if (step.consumed == 0)
            break;
        if (step.stored) {
            commentTaken = commentTaken || isComment;
            genreTaken = genreTaken || id == "TCON" || id == "TCO";
            if (field.data() == year)
                yearIsTimestamp = id == "TDRC";
            setLossy(field.data(), step.lossy);
        }
        position += step.consumed;
    }
    if (trackText[0] != '\0') {
        if (auto number = leadingNumber(trackText.data()))
            track = *number;
    }
    if (genreTaken) {
        const std::string text = genre;
        const ResolvedGenre resolved = resolveGenre(text);
        genreIndex = resolved.index;
        storeField(genre, resolved.name);
        // A name from the table lost nothing, whatever the frame held.
        if (resolved.index != kNoGenre &&
            resolved.name == kId3v1Genres[std::size_t(resolved.index)])
            setLossy(genre, false);
    }
    // A recording time ("2003-04-05T10:00") gives its year.
    if (yearIsTimestamp && std::isdigit(uint8_t(year[0])) && std::isdigit(uint8_t(year[1])) &&
        std::isdigit(uint8_t(year[2])) && std::isdigit(uint8_t(year[3])))
        storeField(year, std::string(year, 4));
    return true;
}

}  // namespace tembrel
