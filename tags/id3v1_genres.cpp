#include <cctype>
#include <optional>

#include "tags/song_tags.h"

namespace tembrel {

// Genre names by ID3v1 genre byte, spelled as the program has always shown them;
// 148 to 250 have no name.
const std::array<const char*, 256> kId3v1Genres = {
    "Blues",                   // 0
    "Classic Rock",            // 1
    "Country",                 // 2
    "Dance",                   // 3
    "Disco",                   // 4
    "Funk",                    // 5
    "Grunge",                  // 6
    "Hip-Hop",                 // 7
    "Jazz",                    // 8
    "Metal",                   // 9
    "New Age",                 // 10
    "Oldies",                  // 11
    "Other",                   // 12
    "Pop",                     // 13
    "R&B",                     // 14
    "Rap",                     // 15
    "Reggae",                  // 16
    "Rock",                    // 17
    "Techno",                  // 18
    "Industrial",              // 19
    "Alternative",             // 20
    "Ska",                     // 21
    "Death Metal",             // 22
    "Pranks",                  // 23
    "Soundtrack",              // 24
    "Euro-tecno",              // 25
    "Ambient",                 // 26
    "Trip-Hop",                // 27
    "Vocal",                   // 28
    "Juzz+Funk",               // 29
    "Fusion",                  // 30
    "Trance",                  // 31
    "Classical",               // 32
    "Instrumental",            // 33
    "Acid",                    // 34
    "House",                   // 35
    "Game",                    // 36
    "Sound Clip",              // 37
    "Gospel",                  // 38
    "Noise",                   // 39
    "Altern Rock",             // 40
    "Bass",                    // 41
    "Soul",                    // 42
    "Punk",                    // 43
    "Space",                   // 44
    "Meditative",              // 45
    "Instrumental Pop",        // 46
    "Instrumental Rock",       // 47
    "Ethnic",                  // 48
    "Gothic",                  // 49
    "Darkwave",                // 50
    "Techno-Industrial",       // 51
    "Electronic",              // 52
    "Pop-Folk",                // 53
    "Eurodance",               // 54
    "Dream",                   // 55
    "Southern Rock",           // 56
    "Comedy",                  // 57
    "Cult",                    // 58
    "Gangsta",                 // 59
    "Top 40",                  // 60
    "Christian Rap",           // 61
    "Pop/Funk",                // 62
    "Jungle",                  // 63
    "Native American",         // 64
    "Cabaret",                 // 65
    "New Wave",                // 66
    "Psychadelic",             // 67
    "Rave",                    // 68
    "Showtunes",               // 69
    "Trailer",                 // 70
    "Lo-Fi",                   // 71
    "Tribal",                  // 72
    "Acid Punk",               // 73
    "Acid Jazz",               // 74
    "Polka",                   // 75
    "Retro",                   // 76
    "Musical",                 // 77
    "Rock & Roll",             // 78
    "Hard Rock",               // 79
    "Folk",                    // 80
    "Folk/Rock",               // 81
    "National Folk",           // 82
    "Swing",                   // 83
    "Fast-Fusion",             // 84
    "Bedob",                   // 85
    "Latin",                   // 86
    "Revival",                 // 87
    "Celtic",                  // 88
    "Bluegrass",               // 89
    "Avantagarde",             // 90
    "Gothic Rock",             // 91
    "Progressive Rock",        // 92
    "Psychadelic Rock",        // 93
    "Symphonic Rock",          // 94
    "Slow Rock",               // 95
    "Big band",                // 96
    "Chorus",                  // 97
    "Easy Listening",          // 98
    "Acoustic",                // 99
    "Humour",                  // 100
    "SpeechChanson",           // 101
    "Chanson",                 // 102
    "Opera",                   // 103
    "Chamber Music",           // 104
    "Sonata",                  // 105
    "Symphony",                // 106
    "Booty Bass",              // 107
    "Primus",                  // 108
    "Porn Groove",             // 109
    "Satire",                  // 110
    "Slow Jam",                // 111
    "Club",                    // 112
    "Tango",                   // 113
    "Samba",                   // 114
    "Folklore",                // 115
    "Ballad",                  // 116
    "Power Ballad",            // 117
    "Rhytmic Soul",            // 118
    "Freestyle",               // 119
    "Duet",                    // 120
    "Punk Rock",               // 121
    "Drum Solo",               // 122
    "Acapella",                // 123
    "Euro-House",              // 124
    "Dance Hall",              // 125
    "Goa",                     // 126
    "Dram & Bass",             // 127
    "Club-House",              // 128
    "Hardcore",                // 129
    "Terror",                  // 130
    "Indie",                   // 131
    "BritPop",                 // 132
    "Negerpunk",               // 133
    "Polsk Punk",              // 134
    "Beat",                    // 135
    "Chiristian Gangsta Rap",  // 136
    "Heavy Metal",             // 137
    "Black Metal",             // 138
    "Crossover",               // 139
    "Contemporary Christian",  // 140
    "Christian Rock",          // 141
    "Merengue",                // 142
    "Salsa",                   // 143
    "Thrash Metal",            // 144
    "Anime",                   // 145
    "JPop",                    // 146
    "Synthpop",                // 147
    // 148 to 250
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
    "", "", "", "", "", "", "",
    "Seiyu",          // 251
    "Tecno Ambient",  // 252
    "Moemoe",         // 253
    "Tokusatsu",      // 254
    "Anime",          // 255
};

}  // namespace tembrel

namespace tembrel {
namespace {

// A decimal number of one to three digits at the front of `text`; `text` then starts
// after it.
std::optional<int32_t> takeIndex(std::string_view& text) {
    std::size_t n = 0;
    int32_t value = 0;
    while (n < text.size() && n < 3 && text[n] >= '0' && text[n] <= '9')
        value = value * 10 + (text[n++] - '0');
    if (n == 0 || value >= int32_t(kId3v1Genres.size()) ||
        (n < text.size() && text[n] >= '0' && text[n] <= '9'))
        return std::nullopt;
    text.remove_prefix(n);
    return value;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

ResolvedGenre resolveGenre(std::string_view text) {
    std::string_view rest = text;
    if (rest.size() >= 3 && rest.front() == '(' && rest[1] != '(') {
        rest.remove_prefix(1);
        const auto index = takeIndex(rest);
        if (index && !rest.empty() && rest.front() == ')') {
            rest.remove_prefix(1);
            // A refinement names the genre itself; a further reference does not.
            if (!rest.empty() && (rest.front() != '(' || rest.substr(0, 2) == "(("))
                return {*index, rest.front() == '(' ? rest.substr(1) : rest};
            return {*index, kId3v1Genres[std::size_t(*index)]};
        }
    } else if (const auto index = takeIndex(rest); index && rest.empty()) {
        return {*index, kId3v1Genres[std::size_t(*index)]};
    }
    if (!text.empty()) {
        for (std::size_t i = 0; i < kId3v1Genres.size(); ++i) {
            if (sameName(text, kId3v1Genres[i]))
                return {int32_t(i), text};
        }
    }
    return {kNoGenre, text};
}

}  // namespace tembrel
