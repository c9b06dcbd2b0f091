// The names the four patterns make, and the names that are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rename/rename_pattern.h"

namespace tembrel {
namespace {

struct Tags {
    const char* title;
    int32_t track = 7;
    const char* album = "Album";
    const char* artist = "Artist";
    uint32_t lossy = 0;  // SongTags::lossyTexts
};

SongTags songTags(const Tags& t) {
    SongTags tags;
    tags.clear();
    std::strncpy(tags.title, t.title, sizeof tags.title - 1);
    std::strncpy(tags.album, t.album, sizeof tags.album - 1);
    std::strncpy(tags.artist, t.artist, sizeof tags.artist - 1);
    tags.track = t.track;
    tags.lossyTexts = t.lossy;
    return tags;
}

constexpr auto P0 = RenamePattern::Title;
constexpr auto P1 = RenamePattern::TrackTitle;
constexpr auto P2 = RenamePattern::TrackAlbumTitle;
constexpr auto P3 = RenamePattern::ArtistAlbumTrackTitle;
constexpr uint32_t kTitleBit = 1u << 0, kAlbumBit = 1u << 2;

TEST(RenamePattern, NamesFromTags) {
    struct Row {
        Tags tags;
        RenamePattern pattern;
        const char* extension;
        std::string name;
    };
    const std::string nihon = "\x93\xfa\x96\x7b";  // 日本 in CP932
    const std::string longest(251, 'x');
    const Row rows[] = {
        {{"Rain"}, P0, ".mp3", "Rain.mp3"},
        {{"Rain"}, P1, ".mp3", "07.Rain.mp3"},
        {{"Rain"}, P2, ".mp3", "07.[Album]-Rain.mp3"},
        {{"Rain"}, P3, ".mp3", "(Artist)-[Album]-07.Rain.mp3"},
        {{"Rain", 3}, P1, ".WAV", "03.Rain.WAV"},
        {{"Rain", 12}, P1, "", "12.Rain"},
        {{"Rain", 0}, P1, ".rmp", "00.Rain.rmp"},
        {{"Rain", 123}, P1, ".mp3", "123.Rain.mp3"},
        {{"Rain", 7, ""}, P2, ".mp3", "07.[]-Rain.mp3"},
        {{nihon.c_str(), 1, nihon.c_str(), "\x83\x41"}, P3, ".mp3", "(ア)-[日本]-01.日本.mp3"},
        // A text the pattern does not use may have lost characters.
        {{"Rain", 7, "Caf?", "x", kAlbumBit}, P1, ".mp3", "07.Rain.mp3"},
        // 251 bytes and ".mp3" make the longest name there may be.
        {{longest.c_str()}, P0, ".mp3", longest + ".mp3"},
    };
    for (const Row& row : rows) {
        const ComposedName composed = composeName(songTags(row.tags), row.pattern, row.extension);
        EXPECT_EQ(composed.problem, NameProblem::None) << row.name << ": " << composed.detail;
        EXPECT_EQ(composed.name, row.name);
    }
}

TEST(RenamePattern, NamesThatAreRefused) {
    struct Row {
        Tags tags;
        RenamePattern pattern;
        NameProblem problem;
    };
    const std::string tooLong(252, 'x');
    const Row rows[] = {
        {{""}, P1, NameProblem::NoTitle},
        {{"../x"}, P0, NameProblem::BadName},
        {{"a/b"}, P1, NameProblem::BadName},
        {{"Rain", 7, "a/b"}, P2, NameProblem::BadName},
        {{".hidden"}, P0, NameProblem::BadName},
        {{"."}, P0, NameProblem::BadName},
        {{"tab\there"}, P1, NameProblem::BadName},
        {{"del\x7f"}, P1, NameProblem::BadName},
        {{tooLong.c_str()}, P0, NameProblem::BadName},
        {{"Caf?", 7, "Album", "Artist", kTitleBit}, P0, NameProblem::LostCharacters},
        {{"Rain", 7, "Caf?", "Artist", kAlbumBit}, P2, NameProblem::LostCharacters},
        {{"a\x80z"}, P1, NameProblem::NotCp932},
        {{"Rain", 7, "Album", "\xfd"}, P3, NameProblem::NotCp932},
    };
    for (const Row& row : rows) {
        const ComposedName composed = composeName(songTags(row.tags), row.pattern, ".mp3");
        EXPECT_EQ(composed.problem, row.problem) << row.tags.title << " / " << composed.name;
        EXPECT_EQ(composed.name.empty(), row.problem == NameProblem::NoTitle) << composed.name;
    }
}

TEST(RenamePattern, ListIndexesAndTexts) {
    EXPECT_EQ(renamePatternOf(0), P0);
    EXPECT_EQ(renamePatternOf(3), P3);
    EXPECT_FALSE(renamePatternOf(4));
    EXPECT_FALSE(renamePatternOf(-1));
    EXPECT_EQ(kDefaultRenamePattern, P2);
    EXPECT_EQ(textOf(P2).listText, "トラック番号.[アルバム]-タイトル");
    EXPECT_EQ(textOf(P3).format, "(%s)-[%s]-%02d.%s");
}

}  // namespace
}  // namespace tembrel
