// Byte-by-byte builders for the tag tests: ID3v1 blocks, ID3v2 tags and frames, RIFF
// chunks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"
#include "tags/song_tags.h"

namespace tembrel::test {

using Bytes = std::vector<uint8_t>;

inline Bytes str(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}

inline Bytes synchsafe(uint32_t value) {
    return {uint8_t(value >> 21 & 0x7F), uint8_t(value >> 14 & 0x7F), uint8_t(value >> 7 & 0x7F),
            uint8_t(value & 0x7F)};
}

// One ID3v2 frame with its size in the layout of `version` (2: 3-char id and 3-byte
// size; 3: plain 32-bit size; 4: synchsafe size).
inline Bytes frame(int version, std::string_view id, const Bytes& content,
                   uint8_t formatFlags = 0) {
    Bytes out = str(id);
    if (version == 2) {
        bytes::appendBE(out, uint32_t(content.size()), 3);
    } else {
        Bytes size = version == 3 ? Bytes{} : synchsafe(uint32_t(content.size()));
        if (version == 3)
            bytes::appendBE(size, uint32_t(content.size()), 4);
        out.insert(out.end(), size.begin(), size.end());
        out.push_back(0);
        out.push_back(formatFlags);
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// A text frame with encoding byte 0.
inline Bytes textFrame(int version, std::string_view id, std::string_view text) {
    return frame(version, id, cat({{0}, str(text)}));
}

// Tag header (major version, flags, synchsafe size of `body`) and the body.
inline Bytes id3v2Tag(int version, uint8_t flags, const Bytes& body) {
    return cat({str("ID3"), {uint8_t(version), 0, flags}, synchsafe(uint32_t(body.size())), body});
}

// A field of `width` bytes: the text, then NULs.
inline Bytes fixed(std::string_view text, std::size_t width) {
    Bytes out = str(text.substr(0, width));
    out.resize(width, 0);
    return out;
}

// A 128-byte ID3v1 block; with a track it is ID3v1.1 (comment cut to 28 bytes).
inline Bytes id3v1Block(std::string_view title, std::string_view artist, std::string_view album,
                        std::string_view year, std::string_view comment, uint8_t genre,
                        int track = -1) {
    Bytes out = cat({str("TAG"),
                     fixed(title, 30),
                     fixed(artist, 30),
                     fixed(album, 30),
                     fixed(year, 4),
                     fixed(comment, 30),
                     {genre}});
    if (track >= 0) {
        out[125] = 0;
        out[126] = uint8_t(track);
    }
    return out;
}

// A RIFF chunk: id, little-endian size, data, pad byte for an odd size.
inline Bytes chunk(std::string_view id, const Bytes& data) {
    Bytes out = str(id);
    bytes::appendLE(out, uint32_t(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1)
        out.push_back(0);
    return out;
}

inline Bytes riff(std::string_view form, const Bytes& chunks) {
    Bytes out = str("RIFF");
    bytes::appendLE(out, uint32_t(4 + chunks.size()), 4);
    Bytes f = str(form);
    out.insert(out.end(), f.begin(), f.end());
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

// A minimal PCM "fmt " chunk: mono, 8 kHz, 16 bits.
inline Bytes fmtChunk() {
    Bytes data;
    bytes::appendLE(data, 1, 2);
    bytes::appendLE(data, 1, 2);
    bytes::appendLE(data, 8000, 4);
    bytes::appendLE(data, 16000, 4);
    bytes::appendLE(data, 2, 2);
    bytes::appendLE(data, 16, 2);
    return chunk("fmt ", data);
}

}  // namespace tembrel::test
