// The ID3v1 block: 128 bytes at the end of a file, or embedded in a RIFF "LIST" chunk.
#include <array>
#include <cstring>
#include <string_view>

#include "tags/field_text.h"
#include "tags/song_tags.h"
#include "tags/tag_file.h"

namespace tembrel {
namespace {

constexpr std::size_t kBlockSize = 128;

// The bytes of one fixed-width text, up to its first NUL; padding spaces stay.
std::string_view fixedText(std::span<const uint8_t> bytes) {
    const auto* chars = reinterpret_cast<const char*>(bytes.data());
    const void* nul = std::memchr(chars, 0, bytes.size());
    return {chars, nul ? std::size_t(static_cast<const char*>(nul) - chars) : bytes.size()};
}

}  // namespace

bool SongTags::parseId3v1Block(std::span<const uint8_t, 128> block) {
    if (block[0] != 'T' || block[1] != 'A' || block[2] != 'G')
        return false;
    storeField(title, fixedText(block.subspan(3, 30)));
    storeField(artist, fixedText(block.subspan(33, 30)));
    storeField(album, fixedText(block.subspan(63, 30)));
    storeField(year, fixedText(block.subspan(93, 4)));
    // The comment always spans 30 bytes; in ID3v1.1 the NUL at byte 125 ends it.
    storeField(comment, fixedText(block.subspan(97, 30)));
    if (block[125] == 0)
        track = block[126];
    genreIndex = block[127];
    storeField(genre, kId3v1Genres[block[127]]);
    for (const char* field : {title, artist, album, year, comment, genre})
        setLossy(field, false);
    return true;
}

bool SongTags::readId3v1(const std::string& path) {
    TagFile file(path);
    if (!file.isOpen())
        return false;
    dataLength = clampToInt32(file.size());
    if (file.size() < kBlockSize)
        return false;
    std::array<uint8_t, kBlockSize> block{};
    if (file.readAt(file.size() - kBlockSize, block) != kBlockSize)
        return false;
    return parseId3v1Block(block);
}

}  // namespace tembrel
