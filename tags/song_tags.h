// Song information of a source file and the position of its audio data.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tembrel {

// ID3v1 genre names, indexed by the genre byte.
extern const std::array<const char*, 256> kId3v1Genres;

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

    // Clears the record and fills it from the file: ID3v1 block, ID3v2 tag, RIFF
    // chunks, each later step overriding the earlier ones field by field. Always true.
    bool read(const std::string& path);
    // Fills fields from one 128-byte block; false, changing nothing, without "TAG".
    bool parseId3v1Block(std::span<const uint8_t, 128> block);
    // True when the file begins with an ID3v2 tag that was read.
    bool readId3v2(const std::string& path);
    // True when the file is a RIFF "RMP3" or "WAVE" file and was walked.
    bool readRiffInfo(const std::string& path);
    void clear();
};

// Removes a final line feed (then carriage return) that follows a space.
void trimLineEnds(char* text);

}  // namespace tembrel
