#include "tags/song_tags.h"

#include <cstring>

namespace tembrel {

void SongTags::clear() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
}

bool SongTags::read(const std::string& path) {
    clear();
    bool hasId3v1 = readId3v1(path);
    readId3v2(path);
    if (hasId3v1) {
        // The block is not audio. A block that lies inside an ID3v2 tag cannot make the
        // length negative.
        dataLength = dataLength >= 128 ? dataLength - 128 : 0;
    }
    readRiffInfo(path);
    for (char* text : {title, artist, album, year, comment, copyright, fileName, genre, software,
                       url, sourceArtist, composer}) {
        trimLineEnds(text);
    }
    return true;
}

namespace {

// Removes the last `c` of the text when it is the final character, not the first,
// and follows a space.
void trimFinal(char* text, char c) {
    char* last = std::strrchr(text, c);
    if (last && last != text && last[1] == '\0' && last[-1] == ' ')
        *last = '\0';
}

}  // namespace

void trimLineEnds(char* text) {
    trimFinal(text, '\n');
    trimFinal(text, '\r');
}

}  // namespace tembrel
