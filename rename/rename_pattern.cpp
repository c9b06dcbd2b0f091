#include "rename/rename_pattern.h"

#include <cstdio>

#include "platform/text_encoding.h"

namespace tembrel {

const std::array<RenamePatternText, 4> kRenamePatterns = {{
    {"タイトル", "%s"},
    {"トラック番号.タイトル", "%02d.%s"},
    {"トラック番号.[アルバム]-タイトル", "%02d.[%s]-%s"},
    {"(アーティスト)-[アルバム]-トラック番号.タイトル", "(%s)-[%s]-%02d.%s"},
}};

std::optional<RenamePattern> renamePatternOf(int index) {
    if (index < 0 || index >= int(kRenamePatterns.size()))
        return std::nullopt;
    return RenamePattern(index);
}

const RenamePatternText& textOf(RenamePattern pattern) {
    return kRenamePatterns[std::size_t(pattern)];
}

std::string trackText(int32_t track) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", int(track));
    return buffer;
}

namespace {

// Longest file name the platform allows, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

struct TagText {
    const char* field;
    const char* what;
};

// One tag text as UTF-8, and the problem that stops it from naming a file.
NameProblem convertText(const SongTags& tags, TagText text, std::string& utf8) {
    bool unconvertible = false;
    utf8 = text::cp932ToUtf8(text.field, &unconvertible);
    if (tags.isLossy(text.field))
        return NameProblem::LostCharacters;
    return unconvertible ? NameProblem::NotCp932 : NameProblem::None;
}

// Why the name may not be used, or empty.
std::string nameRuleBroken(std::string_view name) {
    if (name.find('/') != std::string_view::npos)
        return "it contains \"/\"";
    for (char c : name) {
        if (uint8_t(c) < 0x20 || uint8_t(c) == 0x7F)
            return "it contains a control character";
    }
    if (name.starts_with('.'))
        return "it begins with \".\"";
    if (name.size() > kMaxNameBytes)
        return "it is longer than 255 bytes";
    return {};
}

}  // namespace

ComposedName composeName(const SongTags& tags, RenamePattern pattern, std::string_view extension) {
    ComposedName out;
    if (tags.title[0] == '\0') {
        out.problem = NameProblem::NoTitle;
        return out;
    }
    std::string title, album, artist;
    struct Use {
        TagText text;
        std::string* utf8;
        bool used;
    };
    const bool withAlbum = pattern == RenamePattern::TrackAlbumTitle ||
                           pattern == RenamePattern::ArtistAlbumTrackTitle;
    const Use uses[] = {
        {{tags.title, "title"}, &title, true},
        {{tags.album, "album"}, &album, withAlbum},
        {{tags.artist, "artist"}, &artist, pattern == RenamePattern::ArtistAlbumTrackTitle},
    };
    // A text that is not what the tags say still shows in the name, so that the user sees
    // which file it is; the first such text fails the name.
    for (const Use& use : uses) {
        if (!use.used)
            continue;
        const NameProblem problem = convertText(tags, use.text, *use.utf8);
        if (problem != NameProblem::None && out.problem == NameProblem::None) {
            out.problem = problem;
            out.detail = use.text.what;
        }
    }
    const std::string track = trackText(tags.track);
    switch (pattern) {
        case RenamePattern::Title:
            out.name = title;
            break;
        case RenamePattern::TrackTitle:
            out.name = track + "." + title;
            break;
        case RenamePattern::TrackAlbumTitle:
            out.name = track + ".[" + album + "]-" + title;
            break;
        case RenamePattern::ArtistAlbumTrackTitle:
            out.name = "(" + artist + ")-[" + album + "]-" + track + "." + title;
            break;
    }
    out.name += extension;
    if (out.problem == NameProblem::None) {
        out.detail = nameRuleBroken(out.name);
        if (!out.detail.empty())
            out.problem = NameProblem::BadName;
    }
    return out;
}

}  // namespace tembrel
