// Song information of a source file and the position of its audio data.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tembrel {

// ID3v1 genre names, indexed by the genre byte.
extern const std::array<const char*, 256> kId3v1Genres;
// The genre byte of an ID3v1 block without a genre.
inline constexpr uint8_t kId3v1NoGenre = 255;
// genreIndex of a genre that has no index in the table, or of no genre at all.
inline constexpr int32_t kNoGenre = -1;

struct ResolvedGenre {
    int32_t index;          // table index, or kNoGenre
    std::string_view name;  // what to show
};
// An ID3v2 genre text: "(17)" and "17" name table entry 17, "(9)Metal" entry 9 with its
// own name "Metal"; a plain name keeps its text and gets the index of the entry of that
// name, if any.
ResolvedGenre resolveGenre(std::string_view text);

struct SongTags {
    char title[256];
    char artist[256];
    char album[256];
    char year[32];
    char comment[256];
    char copyright[256];
    char fileName[256];
    int32_t genreIndex;
    int32_t track;
    char genre[256];
    char software[256];
    char url[256];
    char sourceArtist[256];
    char composer[256];
    int32_t dataOffset;  // file offset of the first audio byte
    int32_t dataLength;  // audio bytes from dataOffset
    // One bit per text field (in textFields() order) whose text had characters replaced
    // ("?") on its way into CP932, so that it is known not to be what the tag says.
    uint32_t lossyTexts;

    // Clears the record and fills it from the file: ID3v1 block, ID3v2 tag, RIFF
    // chunks, each later step overriding the earlier ones field by field. Always true.
    bool read(const std::string& path);
    // Sets dataLength to the file size and applies the file's last 128 bytes as an
    // ID3v1 block; true when they were one.
    bool readId3v1(const std::string& path);
    // Fills fields from one 128-byte block; false, changing nothing, without "TAG".
    bool parseId3v1Block(std::span<const uint8_t, 128> block);
    // True when the file begins with an ID3v2 tag that lies wholly inside the file; its
    // frames then replace the fields they map to and the data range starts after it.
    bool readId3v2(const std::string& path);
    // Fills fields from the frames of one whole ID3v2 tag held in memory (header, frames,
    // any footer), as readId3v2 does; false, changing nothing, when the bytes are no
    // whole tag. The data range is not touched.
    bool parseId3v2Tag(std::span<const uint8_t> tag);
    // True when the file is a RIFF "RMP3" or "WAVE" file and was walked: the data range
    // comes from its "data" chunk, fields from its "LIST" chunks.
    bool readRiffInfo(const std::string& path);
    void clear();

    // The twelve text fields, in a fixed order.
    std::array<std::span<char>, 12> textFields();
    // Every reader that stores a text sets or clears its field's bit; other pointers
    // (texts that are no field of this record) are passed over.
    void setLossy(const char* field, bool lossy);
    bool isLossy(const char* field) const;
};

// Removes a final line feed that follows a space, then likewise a final carriage return;
// the space stays.
void trimLineEnds(char* text);

}  // namespace tembrel
