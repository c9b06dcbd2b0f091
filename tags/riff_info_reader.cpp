// Song information and the audio data range of RIFF "WAVE" and "RMP3" files.
#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/byte_order.h"
#include "tags/field_text.h"
#include "tags/song_tags.h"
#include "tags/tag_file.h"

namespace tembrel {
namespace {

constexpr std::size_t kChunkHeaderSize = 8;
// An embedded ID3v1 block: "IID3", the size 128, the block.
constexpr std::size_t kEmbeddedId3v1Size = 8 + 128;

std::string_view idOf(std::span<const uint8_t> header) {
    return {reinterpret_cast<const char*>(header.data()), 4};
}

uint64_t paddedSize(uint32_t size) {
    return uint64_t(size) + (size & 1);
}

std::span<char> infoField(SongTags& tags, std::string_view id) {
    struct Mapping {
        const char* id;
        std::span<char> field;
    };
    const std::array<Mapping, 10> table{{
        {"INAM", tags.title},
        {"IART", tags.artist},
        {"IPRD", tags.album},
        {"ICMT", tags.comment},
        {"ICRD", tags.year},
        {"IGNR", tags.genre},
        {"ICOP", tags.copyright},
        {"IENG", tags.url},
        {"ISRC", tags.sourceArtist},
        {"ISFT", tags.software},
    }};
    for (const Mapping& m : table) {
        if (id == m.id)
            return m.field;
    }
    return {};
}

// Fields from one "LIST" chunk's data: its embedded ID3v1 block first, so that the INFO
// sub-chunks of the same chunk win over it.
void takeList(SongTags& tags, std::span<const uint8_t> block) {
    const std::size_t n = block.size();
    if (n >= kEmbeddedId3v1Size) {
        auto tail = block.last(kEmbeddedId3v1Size);
        if (idOf(tail) == "IID3" || bytes::readLE32(tail.subspan(4)) == 128)
            tags.parseId3v1Block(block.last<128>());
    }
    if (n < 4 || idOf(block) != "INFO")
        return;
    for (std::size_t position = 4;;) {
        const std::size_t left = n - position;
        if (left < kChunkHeaderSize)
            break;
        auto header = block.subspan(position, kChunkHeaderSize);
        std::string_view id = idOf(header);
        if (id == "IID3")
            break;
        // A sub-chunk claiming more than the list holds is cut to what is there.
        uint64_t size = paddedSize(bytes::readLE32(header.subspan(4)));
        if (size > left - kChunkHeaderSize)
            size = left - kChunkHeaderSize;
        auto data = block.subspan(position + kChunkHeaderSize, std::size_t(size));
        if (auto field = infoField(tags, id); !field.empty()) {
            const auto* text = reinterpret_cast<const char*>(data.data());
            tags.setLossy(field.data(), storeUndeclaredText(field, {text, data.size()}));
        }
        position += kChunkHeaderSize + std::size_t(size);
    }
}

}  // namespace

bool SongTags::readRiffInfo(const std::string& path) {
    TagFile file(path);
    std::array<uint8_t, 12> start{};
    if (file.readAt(0, start) != start.size())
        return false;
    if (idOf(start) != "RIFF")
        return false;
    std::string_view form = idOf(std::span(start).subspan(8));
    if (form != "RMP3" && form != "WAVE")
        return false;

    dataOffset = 0;
    dataLength = 0;
    // The chunks that carry tags, in file order: ID3v2 tags first take effect, then the
    // "LIST" chunks, so that INFO wins wherever both hold a text.
    std::vector<std::pair<uint64_t, uint32_t>> id3v2Chunks;
    std::vector<std::pair<uint64_t, uint32_t>> lists;
    for (uint64_t position = 12;;) {
        std::array<uint8_t, kChunkHeaderSize> header{};
        if (file.readAt(position, header) != header.size())
            break;
        if (header[0] == 0 || header[1] == 0 || header[2] == 0 || header[3] == 0)
            break;
        std::string_view id = idOf(header);
        // An ID3v1 block appended after the chunks, or a top-level embedded one, ends them.
        if (id.substr(0, 3) == "TAG" || id == "IID3")
            break;
        const uint32_t size = bytes::readLE32(std::span(header).subspan(4));
        const uint64_t padded = paddedSize(size);
        const uint64_t dataStart = position + kChunkHeaderSize;
        if (id == "data") {
            dataOffset = clampToInt32(dataStart);
            dataLength = clampToInt32(padded);
        } else if (id == "LIST" || id == "id3 " || id == "ID3 ") {
            // Never allocate more than the file holds: a larger chunk is damage and ends
            // the walk.
            if (size > file.size() - dataStart)
                break;
            (id == "LIST" ? lists : id3v2Chunks).emplace_back(dataStart, size);
        }
        position = dataStart + padded;
    }
    for (const auto& [at, size] : id3v2Chunks) {
        std::vector<uint8_t> tag(size);
        if (file.readAt(at, tag) == size)
            parseId3v2Tag(tag);
    }
    for (const auto& [at, size] : lists) {
        // Only a missing final pad byte is tolerated (it reads as zero).
        std::vector<uint8_t> block(std::size_t(paddedSize(size)), 0);
        if (file.readAt(at, block) >= size)
            takeList(*this, block);
    }
    return true;
}

}  // namespace tembrel
