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

// Stores one fixed-width text, up to its first NUL; padding spaces stay. True when
// characters were replaced on the way into CP932.
bool storeFixedText(std::span<char> field, std::span<const uint8_t> bytes) {
    const auto* chars = reinterpret_cast<const char*>(bytes.data());
    const void* nul = std::memchr(chars, 0, bytes.size());
    const std::size_t length =
        nul ? std::size_t(static_cast<const char*>(nul) - chars) : bytes.size();
    return storeUndeclaredText(field, {chars, length}, nul == nullptr);
}

}  // namespace

bool SongTags::parseId3v1Block(std::span<const uint8_t, 128> block) {
    if (block[0] != 'T' || block[1] != 'A' || block[2] != 'G')
        return false;
    setLossy(title, storeFixedText(title, block.subspan(3, 30)));
    setLossy(artist, storeFixedText(artist, block.subspan(33, 30)));
    setLossy(album, storeFixedText(album, block.subspan(63, 30)));
    setLossy(year, storeFixedText(year, block.subspan(93, 4)));
    // The comment always spans 30 bytes; in ID3v1.1 the NUL at byte 125 ends it.
    setLossy(comment, storeFixedText(comment, block.subspan(97, 30)));
    if (block[125] == 0)
        track = block[126];
    // Taggers write 255 for "no genre"; the table's entry 255 is for other uses of it.
    genreIndex = block[127] == kId3v1NoGenre ? kNoGenre : block[127];
    storeField(genre, block[127] == kId3v1NoGenre ? "" : kId3v1Genres[block[127]]);
    setLossy(genre, false);
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
