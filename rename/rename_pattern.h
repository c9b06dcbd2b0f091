// The four ways a file can be named after its tags, and the name each gives.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tags/song_tags.h"

namespace tembrel {

enum class RenamePattern : int32_t {
    Title = 0,                  // "%s": title
    TrackTitle = 1,             // "%02d.%s": track, title
    TrackAlbumTitle = 2,        // "%02d.[%s]-%s": track, album, title
    ArtistAlbumTrackTitle = 3,  // "(%s)-[%s]-%02d.%s": artist, album, track, title
};
inline constexpr RenamePattern kDefaultRenamePattern = RenamePattern::TrackAlbumTitle;

struct RenamePatternText {
    std::string_view listText;  // as the pattern list shows it
    std::string_view format;    // the name part, in printf notation
};
// Indexed by the pattern.
extern const std::array<RenamePatternText, 4> kRenamePatterns;

// The pattern of a list index; nothing outside 0 to 3.
std::optional<RenamePattern> renamePatternOf(int index);
const RenamePatternText& textOf(RenamePattern pattern);

// Why no usable name came out of the tags.
enum class NameProblem {
    None,
    NoTitle,
    LostCharacters,  // a text had characters replaced on its way into CP932
    NotCp932,        // a text does not convert from CP932 (it would show U+FFFD)
    BadName,         // "/", a control byte, a leading ".", or longer than a name may be
};

struct ComposedName {
    // UTF-8 name with the extension, also when it cannot be used (so that the user sees
    // what the tags give); empty when there is no title.
    std::string name;
    NameProblem problem = NameProblem::None;
    std::string detail;  // which text or which rule, for a problem
};

// The new file name for tags read from a file: the pattern's name part built from the
// tag texts converted to UTF-8, then `extension` (the old one, with its "."). Nothing is
// ever cut or replaced: a text that would not make exactly the name the tags say, or a
// name that could move the file elsewhere or hide it, is a problem.
ComposedName composeName(const SongTags& tags, RenamePattern pattern, std::string_view extension);

// The track as the patterns write it: decimal, at least two digits.
std::string trackText(int32_t track);

}  // namespace tembrel
