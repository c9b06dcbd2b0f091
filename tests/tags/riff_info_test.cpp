#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "tag_bytes.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

class RiffFile : public ::testing::Test {
  protected:
    std::string write(const Bytes& bytes) {
        writeFile(dir_.file("song.wav"), bytes);
        return dir_.file("song.wav");
    }
    SongTags readBytes(const Bytes& bytes) {
        SongTags tags;
        tags.read(write(bytes));
        return tags;
    }
    TempDir dir_;
};

Bytes info(std::initializer_list<Bytes> subChunks) {
    Bytes data = str("INFO");
    for (const Bytes& c : subChunks)
        data.insert(data.end(), c.begin(), c.end());
    return chunk("LIST", data);
}

Bytes iid3(const Bytes& block) {
    return chunk("IID3", block);
}

TEST_F(RiffFile, DataChunkGivesThePaddedRangeAndInfoTheFields) {
    Bytes file = riff(
        "WAVE",
        cat({fmtChunk(), chunk("data", Bytes(1001, 7)),
             info({chunk("INAM", str("Name")), chunk("IART", str(std::string("Artist\0", 7)))})}));
    SongTags tags = readBytes(file);
    EXPECT_EQ(tags.dataOffset, 12 + 24 + 8);
    EXPECT_EQ(tags.dataLength, 1002);
    EXPECT_STREQ(tags.title, "Name");
    EXPECT_STREQ(tags.artist, "Artist");
}

TEST_F(RiffFile, EveryInfoIdFillsItsField) {
    Bytes file =
        riff("RMP3", cat({chunk("data", Bytes(10, 0)),
                          info({chunk("IPRD", str("Album")), chunk("ICMT", str("Comment")),
                                chunk("ICRD", str(std::string(40, '9'))),
                                chunk("IGNR", str("Genre")), chunk("ICOP", str("Copy")),
                                chunk("IENG", str("Engineer")), chunk("ISRC", str("Source")),
                                chunk("ISFT", str("Software")), chunk("IXYZ", str("none"))})}));
    SongTags tags = readBytes(file);
    EXPECT_STREQ(tags.album, "Album");
    EXPECT_STREQ(tags.comment, "Comment");
    EXPECT_EQ(std::string(tags.year), std::string(31, '9'));
    EXPECT_STREQ(tags.genre, "Genre");
    EXPECT_STREQ(tags.copyright, "Copy");
    EXPECT_STREQ(tags.url, "Engineer");
    EXPECT_STREQ(tags.sourceArtist, "Source");
    EXPECT_STREQ(tags.software, "Software");
    EXPECT_EQ(tags.dataOffset, 20);
    EXPECT_EQ(tags.dataLength, 10);
}

TEST_F(RiffFile, InfoValueReplacesAnEarlierValueCompletely) {
    SongTags tags;
    tags.clear();
    std::strcpy(tags.title, "A much longer title from before");
    ASSERT_TRUE(tags.readRiffInfo(
        write(riff("WAVE", cat({info({chunk("INAM", str(std::string("Short\0", 6)))})})))));
    EXPECT_STREQ(tags.title, "Short");
    EXPECT_EQ(tags.title[6], '\0');
}

TEST_F(RiffFile, InfoWinsOverTheEmbeddedBlockAndLaterListsWin) {
    Bytes block = id3v1Block("v1 title", "v1 artist", "v1 album", "1999", "", 145, 4);
    Bytes first = info({chunk("INAM", str("Info title")), iid3(block)});
    SongTags tags = readBytes(riff("WAVE", cat({chunk("data", Bytes(4, 0)), first})));
    EXPECT_STREQ(tags.title, "Info title");
    EXPECT_STREQ(tags.album, "v1 album");
    EXPECT_STREQ(tags.genre, "Anime");
    EXPECT_EQ(tags.track, 4);

    Bytes second = info({chunk("IART", str("Second artist"))});
    tags = readBytes(riff("WAVE", cat({first, chunk("data", Bytes(4, 0)), second})));
    EXPECT_STREQ(tags.artist, "Second artist");
    EXPECT_STREQ(tags.title, "Info title");
}

TEST_F(RiffFile, OtherListTypesGiveOnlyTheirEmbeddedBlock) {
    Bytes block = id3v1Block("Embedded", "", "", "", "", 0);
    Bytes adtl = chunk("LIST", cat({str("adtl"), chunk("INAM", str("not info")), iid3(block)}));
    SongTags tags = readBytes(riff("WAVE", cat({adtl, chunk("data", Bytes(4, 0))})));
    EXPECT_STREQ(tags.title, "Embedded");
}

TEST_F(RiffFile, RiffOverridesTheId3v1BlockAtTheEnd) {
    // The "TAG" block after the chunks ends the walk; INAM wins, the block fills the rest.
    Bytes file = cat({riff("WAVE", cat({fmtChunk(), chunk("data", Bytes(100, 0)),
                                        info({chunk("INAM", str("Riff title"))})})),
                      id3v1Block("End title", "End artist", "", "", "", 0)});
    SongTags tags = readBytes(file);
    EXPECT_STREQ(tags.title, "Riff title");
    EXPECT_STREQ(tags.artist, "End artist");
    EXPECT_EQ(tags.dataLength, 100);
}

TEST_F(RiffFile, TopLevelIid3EndsTheWalkBeforeTheData) {
    Bytes file =
        riff("WAVE", cat({fmtChunk(), iid3(id3v1Block("x", "", "", "", "", 0)),
                          chunk("data", Bytes(100, 0)), info({chunk("INAM", str("late"))})}));
    SongTags tags = readBytes(file);
    EXPECT_EQ(tags.dataOffset, 0);
    EXPECT_EQ(tags.dataLength, 0);
    EXPECT_STREQ(tags.title, "");
}

TEST_F(RiffFile, OtherFormTypesAreNotWalked) {
    Bytes file =
        riff("AVI ", cat({chunk("data", Bytes(10, 0)), info({chunk("INAM", str("avi"))})}));
    SongTags tags;
    tags.clear();
    EXPECT_FALSE(tags.readRiffInfo(write(file)));
    tags = readBytes(file);
    EXPECT_STREQ(tags.title, "");
    EXPECT_EQ(tags.dataOffset, 0);
    EXPECT_EQ(tags.dataLength, int32_t(file.size()));
}

TEST_F(RiffFile, SizesLargerThanTheFileNeverReadPastIt) {
    // A list claiming 2 GB ends the walk; the data range found before it stays.
    Bytes hugeList =
        cat({str("LIST"), {0xFF, 0xFF, 0xFF, 0x7F}, str("INFO"), chunk("INAM", str("never"))});
    SongTags tags = readBytes(riff("WAVE", cat({chunk("data", Bytes(8, 0)), hugeList})));
    EXPECT_STREQ(tags.title, "");
    EXPECT_EQ(tags.dataLength, 8);

    // A streamed recording's unknown data size: the largest length, and the walk ends.
    Bytes unknownData = cat({str("data"), {0xFF, 0xFF, 0xFF, 0xFF}, Bytes(64, 0)});
    tags = readBytes(riff("WAVE", cat({fmtChunk(), unknownData})));
    EXPECT_EQ(tags.dataOffset, 44);
    EXPECT_EQ(tags.dataLength, std::numeric_limits<int32_t>::max());

    // A sub-chunk claiming more than its list is cut to what the list holds.
    Bytes longName = cat({str("INAM"), {200, 0, 0, 0}, str("cut")});
    tags = readBytes(riff("WAVE", cat({chunk("LIST", cat({str("INFO"), longName}))})));
    EXPECT_STREQ(tags.title, "cut");
}

TEST_F(RiffFile, OddListAtTheEndWithoutItsPadByteIsRead) {
    // The list's data is 15 bytes: "INFO", then "INAM" holding "odd" without its pad.
    Bytes list = chunk("LIST", cat({str("INFO"), str("INAM"), {3, 0, 0, 0}, str("odd")}));
    Bytes file = riff("WAVE", cat({chunk("data", Bytes(2, 0)), list}));
    file.pop_back();  // the pad byte after the list
    SongTags tags = readBytes(file);
    EXPECT_STREQ(tags.title, "odd");
}

TEST_F(RiffFile, EveryCutShortCopyReadsSafely) {
    Bytes block = id3v1Block("v1", "", "", "", "", 0);
    Bytes whole = riff("WAVE", cat({fmtChunk(), chunk("data", Bytes(33, 1)),
                                    info({chunk("INAM", str("Title")), iid3(block)})}));
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SongTags tags = readBytes(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
        if (n == whole.size()) {
            EXPECT_STREQ(tags.title, "Title");
        }
        if (n < 12) {
            EXPECT_EQ(tags.dataLength, int32_t(n)) << n;
        }
    }
}

}  // namespace
}  // namespace tembrel::test
