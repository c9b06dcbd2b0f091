#include "tags/song_tags.h"

#include <cstring>

#include "tags/vorbis_comments.h"

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
    readVorbisComments(path, *this);
    for (std::span<char> text : textFields())
        trimLineEnds(text.data());
    return true;
}

std::array<std::span<char>, 12> SongTags::textFields() {
    return {title,    artist, album,    year, comment,      copyright,
            fileName, genre,  software, url,  sourceArtist, composer};
}

namespace {

int fieldBit(SongTags& tags, const char* field) {
    const auto fields = tags.textFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].data() == field)
            return int(i);
    }
    return -1;
}

}  // namespace

void SongTags::setLossy(const char* field, bool lossy) {
    const int bit = fieldBit(*this, field);
    if (bit < 0)
        return;
    if (lossy)
        lossyTexts |= 1u << bit;
    else
        lossyTexts &= ~(1u << bit);
}

bool SongTags::isLossy(const char* field) const {
    const int bit = fieldBit(const_cast<SongTags&>(*this), field);
    return bit >= 0 && (lossyTexts >> bit & 1u) != 0;
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
