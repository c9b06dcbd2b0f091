#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <span>

#include "tag_bytes.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

SongTags cleared() {
    SongTags tags;
    tags.clear();
    return tags;
}

bool parse(SongTags& tags, const Bytes& block) {
    return tags.parseId3v1Block(std::span<const uint8_t, 128>(block.data(), 128));
}

TEST(Id3v1Block, FieldsComeFromTheirRangesWithPaddingSpacesKept) {
    SongTags tags = cleared();
    ASSERT_TRUE(parse(tags, id3v1Block("Title   ", "Artist", "Album", "1999",
                                       "A comment that fills all 30 b", 17)));
    EXPECT_STREQ(tags.title, "Title   ");
    EXPECT_STREQ(tags.artist, "Artist");
    EXPECT_STREQ(tags.album, "Album");
    EXPECT_STREQ(tags.year, "1999");
    EXPECT_EQ(tags.genreIndex, 17);
    EXPECT_STREQ(tags.genre, "Rock");
    // Full 30-byte fields have no NUL of their own and are still terminated.
    ASSERT_TRUE(
        parse(tags, id3v1Block(std::string(30, 'T'), "", "", "2001", std::string(30, 'c'), 0)));
    EXPECT_EQ(std::string(tags.title), std::string(30, 'T'));
    EXPECT_EQ(std::string(tags.comment), std::string(30, 'c'));
    EXPECT_STREQ(tags.artist, "");
}

TEST(Id3v1Block, TrackByteCountsOnlyAfterAZeroByte) {
    SongTags tags = cleared();
    Bytes v11 = id3v1Block("t", "a", "b", "2000", "short", 0, 7);
    ASSERT_TRUE(parse(tags, v11));
    EXPECT_EQ(tags.track, 7);
    EXPECT_STREQ(tags.comment, "short");

    // Byte 125 not zero: ID3v1.0, the comment runs over all 30 bytes, track stays.
    Bytes v10 = v11;
    v10[125] = 'x';
    std::memset(&v10[97], 'c', 28);
    tags.track = 3;
    ASSERT_TRUE(parse(tags, v10));
    EXPECT_EQ(tags.track, 3);
    EXPECT_EQ(std::strlen(tags.comment), 30u);
}

TEST(Id3v1Block, GenreByteWithoutAName) {
    SongTags tags = cleared();
    ASSERT_TRUE(parse(tags, id3v1Block("t", "", "", "", "", 200)));
    EXPECT_EQ(tags.genreIndex, 200);
    EXPECT_STREQ(tags.genre, "");
}

TEST(Id3v1Block, BlockWithoutTagChangesNothing) {
    SongTags tags = cleared();
    std::strcpy(tags.title, "kept");
    tags.genreIndex = 5;
    Bytes block = id3v1Block("new", "", "", "", "", 1);
    block[2] = 'X';
    EXPECT_FALSE(parse(tags, block));
    EXPECT_STREQ(tags.title, "kept");
    EXPECT_EQ(tags.genreIndex, 5);
}

TEST(Id3v1Genres, TableKeepsItsSpellingsAndLength) {
    for (const char* name : kId3v1Genres)
        ASSERT_NE(name, nullptr);
    EXPECT_STREQ(kId3v1Genres[0], "Blues");
    EXPECT_STREQ(kId3v1Genres[25], "Euro-tecno");
    EXPECT_STREQ(kId3v1Genres[29], "Juzz+Funk");
    EXPECT_STREQ(kId3v1Genres[101], "SpeechChanson");
    EXPECT_STREQ(kId3v1Genres[136], "Chiristian Gangsta Rap");
    EXPECT_STREQ(kId3v1Genres[145], "Anime");
    EXPECT_STREQ(kId3v1Genres[147], "Synthpop");
    EXPECT_STREQ(kId3v1Genres[148], "");
    EXPECT_STREQ(kId3v1Genres[250], "");
    EXPECT_STREQ(kId3v1Genres[251], "Seiyu");
    EXPECT_STREQ(kId3v1Genres[252], "Tecno Ambient");
    EXPECT_STREQ(kId3v1Genres[254], "Tokusatsu");
    EXPECT_STREQ(kId3v1Genres[255], "Anime");
}

TEST(TrimLineEnds, RemovesOnlyALineEndThatFollowsASpace) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (Case c :
         {Case{"word \n", "word "}, Case{"word\n", "word\n"}, Case{"word \r\n", "word \r\n"},
          Case{"word \r", "word "}, Case{"\n", "\n"}, Case{" \n", " "}, Case{"a \n\n", "a \n\n"},
          Case{"", ""}, Case{"plain", "plain"}}) {
        std::array<char, 16> text{};
        std::strcpy(text.data(), c.in);
        trimLineEnds(text.data());
        EXPECT_STREQ(text.data(), c.out) << "input length " << std::strlen(c.in);
    }
}

TEST(SongTagsRead, Id3v1AtTheEndGivesFieldsAndShortensTheData) {
    TempDir dir;
    Bytes audio(1000, 0x55);
    writeFile(dir.file("a.mp3"), cat({audio, id3v1Block("Line end \n", "Artist", "", "", "", 13)}));
    SongTags tags;
    std::strcpy(tags.composer, "stale");
    tags.read(dir.file("a.mp3"));
    EXPECT_STREQ(tags.title, "Line end ");
    EXPECT_STREQ(tags.genre, "Pop");
    EXPECT_STREQ(tags.composer, "");
    EXPECT_STREQ(tags.fileName, "");
    EXPECT_EQ(tags.dataOffset, 0);
    EXPECT_EQ(tags.dataLength, 1000);
}

TEST(SongTagsRead, UnreadableOrUntaggedFilesGiveAClearedRecord) {
    TempDir dir;
    writeFile(dir.file("short"), Bytes(100, 'T'));
    writeFile(dir.file("empty"), Bytes{});
    // A pipe without a writer would block a plain open or read.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    SongTags tags;
    for (const std::string& path :
         {dir.file("missing"), dir.path().string(), dir.file("empty"), dir.file("pipe")}) {
        std::strcpy(tags.title, "stale");
        tags.dataLength = 77;
        tags.read(path);
        EXPECT_STREQ(tags.title, "") << path;
        EXPECT_EQ(tags.dataOffset, 0) << path;
        EXPECT_EQ(tags.dataLength, 0) << path;
    }
    tags.read(dir.file("short"));
    EXPECT_STREQ(tags.title, "");
    EXPECT_EQ(tags.dataLength, 100);
}

}  // namespace
}  // namespace tembrel::test
