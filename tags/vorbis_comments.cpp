#include "tags/vorbis_comments.h"

#include <array>
#include <cctype>
#include <vector>

#include "platform/sound_file.h"
#include "platform/text_encoding.h"
#include "tags/field_text.h"

namespace tembrel {
namespace {

std::span<char> fieldFor(SongTags& tags, VorbisField field) {
    switch (field) {
        case VorbisField::Title:
            return tags.title;
        case VorbisField::Artist:
            return tags.artist;
        case VorbisField::Album:
            return tags.album;
        case VorbisField::Date:
            return tags.year;
        case VorbisField::Comment:
            return tags.comment;
        case VorbisField::Genre:
            return tags.genre;
        case VorbisField::Copyright:
            return tags.copyright;
        case VorbisField::TrackNumber:
            break;
    }
    return {};
}

// A date that begins with a year ("2003", "2003-04-05") gives that year.
std::string_view yearOf(std::string_view date) {
    if (date.size() >= 4 && std::isdigit(uint8_t(date[0])) && std::isdigit(uint8_t(date[1])) &&
        std::isdigit(uint8_t(date[2])) && std::isdigit(uint8_t(date[3])) &&
        (date.size() == 4 || !std::isdigit(uint8_t(date[4]))))
        return date.substr(0, 4);
    return date;
}

// libsndfile's names of the comments the record takes.
struct Mapping {
    int stringId;
    VorbisField field;
};
constexpr std::array<Mapping, 8> kMappings{{
    {SF_STR_TITLE, VorbisField::Title},
    {SF_STR_ARTIST, VorbisField::Artist},
    {SF_STR_ALBUM, VorbisField::Album},
    {SF_STR_DATE, VorbisField::Date},
    {SF_STR_COMMENT, VorbisField::Comment},
    {SF_STR_TRACKNUMBER, VorbisField::TrackNumber},
    {SF_STR_GENRE, VorbisField::Genre},
    {SF_STR_COPYRIGHT, VorbisField::Copyright},
}};

}  // namespace

void applyVorbisComments(SongTags& tags, std::span<const VorbisText> texts) {
    for (const VorbisText& text : texts) {
        const std::string_view utf8 = text.utf8.substr(0, text.utf8.find('\0'));
        if (text.field == VorbisField::TrackNumber) {
            const std::string number(utf8);
            if (auto value = leadingNumber(number.c_str()))
                tags.track = *value;
            continue;
        }
        const std::span<char> field = fieldFor(tags, text.field);
        bool lossy = false;
        const std::string cp932 =
            text::utf8ToCp932(text.field == VorbisField::Date ? yearOf(utf8) : utf8, &lossy);
        storeCp932Field(field, cp932);
        tags.setLossy(field.data(), lossy);
        // A genre named like a table entry gets its index, as an ID3v2 genre does.
        if (text.field == VorbisField::Genre)
            tags.genreIndex = resolveGenre(cp932).index;
    }
}

bool readVorbisComments(const std::string& path, SongTags& tags) {
    std::optional<OpenSoundFile> opened = openFlacOrOgg(path);
    if (!opened)
        return false;
    std::vector<VorbisText> texts;
    for (const Mapping& m : kMappings) {
        if (const char* value = sf_get_string(opened->file.get(), m.stringId))
            texts.push_back({m.field, value});
    }
    applyVorbisComments(tags, texts);
    return true;
}

}  // namespace tembrel
