#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tag_bytes.h"
#include "tags/id3v2_reader.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

// Writes `bytes` to a temporary file and reads its tags as the converter does.
class Id3v2File : public ::testing::Test {
  protected:
    SongTags readBytes(const Bytes& bytes) {
        writeFile(dir_.file("song.mp3"), bytes);
        SongTags tags;
        tags.read(dir_.file("song.mp3"));
        return tags;
    }
    TempDir dir_;
};

const Bytes kAudio(600, 0xAA);

// Inserts a zero after every 0xFF, as a tagger unsynchronising its data does.
Bytes unsynchronise(const Bytes& in) {
    Bytes out;
    for (uint8_t b : in) {
        out.push_back(b);
        if (b == 0xFF)
            out.push_back(0);
    }
    return out;
}

// "日本" in UTF-16 little-endian with its byte-order mark, and in CP932.
const Bytes kNihonUtf16 = {0xFF, 0xFE, 0xE5, 0x65, 0x2C, 0x67};
const char* const kNihonCp932 = "\x93\xfa\x96\x7b";

TEST(Id3v2Reader, DecodeSynchsafeTakesTheLastByteWhole) {
    using id3v2::decodeSynchsafe;
    EXPECT_EQ(decodeSynchsafe(0, 0, 2, 0x2C), 300u);
    EXPECT_EQ(decodeSynchsafe(0x7F, 0x7F, 0x7F, 0x7F), 0x0FFFFFFFu);
    EXPECT_EQ(decodeSynchsafe(0xFF, 0, 0, 0), 0x7Fu << 21);
    EXPECT_EQ(decodeSynchsafe(0, 0, 0, 0xFF), 255u);
}

TEST(Id3v2Reader, ReadTextFrameMeasuresMatchesAndStops) {
    Bytes data = cat({textFrame(4, "TIT2", "Song"), textFrame(4, "XYZW", "skip"), zeros(8)});
    id3v2::FrameArea area{data, 4, false};
    char field[16] = "old";
    EXPECT_EQ(id3v2::readTextFrame(field, area, 0, "TPE1").consumed, 0u);
    EXPECT_STREQ(field, "old");
    auto step = id3v2::readTextFrame(field, area, 0, "TIT2");
    EXPECT_EQ(step.consumed, 15u);
    EXPECT_TRUE(step.stored);
    EXPECT_STREQ(field, "Song");
    EXPECT_EQ(id3v2::readTextFrame({}, area, 15, {}).consumed, 15u);  // unknown id measured
    EXPECT_EQ(id3v2::readTextFrame({}, area, 30, {}).consumed, 0u);   // padding
    EXPECT_EQ(id3v2::readTextFrame({}, area, 3, {}).consumed, 0u);    // claims too much
}

TEST_F(Id3v2File, WalkPassesUnknownFramesAndStopsAtPadding) {
    for (int version : {3, 4}) {
        Bytes body = cat({textFrame(version, "TPE1", "Artist"),
                          frame(version, "PRIV", cat({str("owner"), {0}, Bytes(40, 0xFF)})),
                          textFrame(version, "TIT2", "Title"), textFrame(version, "TALB", "Album"),
                          zeros(100), textFrame(version, "TCOM", "after padding")});
        Bytes tag = id3v2Tag(version, 0, body);
        SongTags tags = readBytes(cat({tag, kAudio}));
        EXPECT_STREQ(tags.artist, "Artist") << version;
        EXPECT_STREQ(tags.title, "Title") << version;
        EXPECT_STREQ(tags.album, "Album") << version;
        EXPECT_STREQ(tags.composer, "") << version;
        EXPECT_EQ(tags.dataOffset, int32_t(tag.size())) << version;
        EXPECT_EQ(tags.dataLength, int32_t(kAudio.size())) << version;
    }
}

TEST_F(Id3v2File, DataRangeStartsAfterTheTagAndEndsBeforeId3v1) {
    Bytes tag = id3v2Tag(3, 0, cat({textFrame(3, "TIT2", "x"), zeros(4096 - 12)}));
    ASSERT_EQ(tag.size(), 4106u);
    SongTags tags = readBytes(cat({tag, kAudio, id3v1Block("v1", "", "", "", "", 0)}));
    EXPECT_EQ(tags.dataOffset, 4106);
    EXPECT_EQ(tags.dataLength, int32_t(kAudio.size()));

    tags = readBytes(cat({id3v2Tag(4, 0, zeros(1000)), kAudio}));
    EXPECT_EQ(tags.dataOffset, 1010);
}

TEST_F(Id3v2File, FrameSizesFollowTheTagVersion) {
    // A 300-byte title: 2.3 stores the size as 0,0,1,44, 2.4 as 0,0,2,44. Reading either
    // the other way would lose the walk's place before the artist.
    for (int version : {3, 4}) {
        Bytes body = cat({textFrame(version, "TIT2", std::string(299, 'L')),
                          textFrame(version, "TPE1", "Artist after long title")});
        SongTags tags = readBytes(cat({id3v2Tag(version, 0, body), kAudio}));
        EXPECT_EQ(std::string(tags.title), std::string(255, 'L')) << version;
        EXPECT_STREQ(tags.artist, "Artist after long title") << version;
    }
}

TEST_F(Id3v2File, Version24WithPlainFrameSizesIsStillRead) {
    // Frames laid out as 2.3 stores them, in a tag that says 2.4.
    Bytes body = cat(
        {textFrame(3, "TIT2", std::string(299, 'P')), textFrame(3, "TPE1", "Artist"), zeros(32)});
    SongTags tags = readBytes(cat({id3v2Tag(4, 0, body), kAudio}));
    EXPECT_EQ(std::string(tags.title), std::string(255, 'P'));
    EXPECT_STREQ(tags.artist, "Artist");
}

TEST_F(Id3v2File, Version22FramesMapToTheSameFields) {
    Bytes body = cat(
        {textFrame(2, "TT2", "Title"), textFrame(2, "TP1", "Artist"), textFrame(2, "TAL", "Album"),
         textFrame(2, "TYE", "1998"), textFrame(2, "TCO", "(17)"),
         frame(2, "COM", cat({{0}, str("eng"), {0}, str("Comment")})), textFrame(2, "TRK", "3/9"),
         textFrame(2, "TCM", "Composer"), textFrame(2, "TOA", "Original"),
         textFrame(2, "TCR", "(c) me"), textFrame(2, "TSS", "Encoder"),
         frame(2, "WXX", cat({{0}, {0}, str("http://example.org/")})),
         textFrame(2, "TXX", "unknown"), zeros(10)});
    SongTags tags = readBytes(cat({id3v2Tag(2, 0, body), kAudio}));
    EXPECT_STREQ(tags.title, "Title");
    EXPECT_STREQ(tags.artist, "Artist");
    EXPECT_STREQ(tags.album, "Album");
    EXPECT_STREQ(tags.year, "1998");
    EXPECT_STREQ(tags.genre, "Rock");
    EXPECT_STREQ(tags.comment, "Comment");
    EXPECT_EQ(tags.track, 3);
    EXPECT_STREQ(tags.composer, "Composer");
    EXPECT_STREQ(tags.sourceArtist, "Original");
    EXPECT_STREQ(tags.copyright, "(c) me");
    EXPECT_STREQ(tags.software, "Encoder");
    EXPECT_STREQ(tags.url, "http://example.org/");
}

TEST_F(Id3v2File, Version23And24FramesFillTheirFields) {
    for (int version : {3, 4}) {
        Bytes body = cat({textFrame(version, "TCON", "Rock"), textFrame(version, "TCOP", "2001 me"),
                          textFrame(version, "TSSE", "LAME"), textFrame(version, "TOPE", "Orig"),
                          textFrame(version, "TCOM", "Comp"), textFrame(version, "TRCK", "05/12"),
                          textFrame(version, version == 3 ? "TYER" : "TDRC", "2004")});
        SongTags tags = readBytes(cat({id3v2Tag(version, 0, body), kAudio}));
        EXPECT_STREQ(tags.genre, "Rock") << version;
        EXPECT_STREQ(tags.copyright, "2001 me") << version;
        EXPECT_STREQ(tags.software, "LAME") << version;
        EXPECT_STREQ(tags.sourceArtist, "Orig") << version;
        EXPECT_STREQ(tags.composer, "Comp") << version;
        EXPECT_EQ(tags.track, 5) << version;
        EXPECT_STREQ(tags.year, "2004") << version;
    }
}

TEST_F(Id3v2File, Id3v2WinsOverId3v1EvenWhenEmpty) {
    Bytes v1 = id3v1Block("v1 title", "v1 artist", "v1 album", "1990", "", 0, 8);
    Bytes body = cat({frame(3, "TIT2", {0}), textFrame(3, "TALB", "    v2 album"),
                      textFrame(3, "TRCK", "A1"), textFrame(3, "TPE1", "first"),
                      textFrame(3, "TPE1", "second")});
    SongTags tags = readBytes(cat({id3v2Tag(3, 0, body), kAudio, v1}));
    EXPECT_STREQ(tags.title, "");          // present but empty frame empties the field
    EXPECT_STREQ(tags.album, "v2 album");  // leading blanks dropped
    EXPECT_EQ(tags.track, 8);              // no leading number keeps the ID3v1 track
    EXPECT_STREQ(tags.artist, "second");   // the later frame wins
    EXPECT_STREQ(tags.year, "1990");       // no frame: the ID3v1 value stays
}

TEST_F(Id3v2File, TextEncodingsBecomeCp932) {
    Bytes japaneseUtf8 = str("日本");
    Bytes body = cat({frame(3, "TIT2", cat({{1}, kNihonUtf16, {0, 0}})),
                      frame(3, "TPE1", {2, 0x65, 0xE5, 0x67, 0x2C}),
                      frame(3, "TALB", cat({{3}, japaneseUtf8})),
                      frame(3, "TCOM", cat({{0}, str(kNihonCp932)})),
                      frame(3, "TCOP", {1, 0xE5, 0x65, 0x2C, 0x67}),  // no byte-order mark
                      // é has no CP932 form and becomes a visible "?".
                      frame(3, "TOPE", cat({{1}, {0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0}}))});
    SongTags tags = readBytes(cat({id3v2Tag(3, 0, body), kAudio}));
    EXPECT_STREQ(tags.title, kNihonCp932);
    EXPECT_STREQ(tags.artist, kNihonCp932);
    EXPECT_STREQ(tags.album, kNihonCp932);
    EXPECT_STREQ(tags.composer, kNihonCp932);
    EXPECT_STREQ(tags.copyright, kNihonCp932);
    EXPECT_STREQ(tags.sourceArtist, "Caf?");
}

TEST_F(Id3v2File, TextsThatLostCharactersAreMarked) {
    Bytes cafeUtf16 = {0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0};  // é: not in CP932
    Bytes body = cat(
        {frame(3, "TIT2", cat({{1}, kNihonUtf16})), frame(3, "TPE1", cat({{1}, cafeUtf16})),
         frame(3, "TALB", cat({{3}, str("Caf\xC3\xA9")})),
         // Stored again without loss: no longer marked.
         frame(3, "TYER", cat({{3}, str("\xC3\xA9")})), frame(3, "TDRC", cat({{3}, str("1999")}))});
    SongTags tags = readBytes(cat({id3v2Tag(3, 0, body), kAudio}));
    EXPECT_STREQ(tags.artist, "Caf?");
    EXPECT_STREQ(tags.album, "Caf?");
    EXPECT_TRUE(tags.isLossy(tags.artist));
    EXPECT_TRUE(tags.isLossy(tags.album));
    EXPECT_FALSE(tags.isLossy(tags.title));
    EXPECT_FALSE(tags.isLossy(tags.year));
    EXPECT_EQ(tags.lossyTexts, 0b110u);
}

TEST_F(Id3v2File, ConvertedTextIsCutBetweenCharacters) {
    // 128 kanji are 256 CP932 bytes; the field holds 255, so the cut falls inside the
    // last character and takes it off whole.
    Bytes utf16 = {0xFF, 0xFE};
    for (int i = 0; i < 128; ++i)
        utf16.insert(utf16.end(), {0xE5, 0x65});
    SongTags tags = readBytes(cat({id3v2Tag(3, 0, frame(3, "TIT2", cat({{1}, utf16}))), kAudio}));
    EXPECT_EQ(std::strlen(tags.title), 254u);
    EXPECT_EQ(uint8_t(tags.title[253]), 0xFA);
}

TEST_F(Id3v2File, CommentTakesTheFirstFrameWithoutDescription) {
    Bytes itunes = frame(3, "COMM", cat({{0}, str("eng"), str("iTunNORM"), {0}, str(" 0000")}));
    Bytes real = frame(3, "COMM", cat({{0}, str("eng"), {0}, str("The comment")}));
    Bytes later = frame(3, "COMM", cat({{0}, str("jpn"), {0}, str("Later one")}));
    Bytes utf16 = frame(3, "COMM", cat({{1}, str("eng"), {0xFF, 0xFE, 0, 0}, kNihonUtf16, {0, 0}}));
    SongTags tags = readBytes(cat({id3v2Tag(3, 0, cat({itunes, real, later})), kAudio}));
    EXPECT_STREQ(tags.comment, "The comment");
    tags = readBytes(cat({id3v2Tag(3, 0, cat({itunes, utf16})), kAudio}));
    EXPECT_STREQ(tags.comment, kNihonCp932);
    // Only a described comment: the ID3v1 comment stays.
    tags = readBytes(
        cat({id3v2Tag(3, 0, itunes), kAudio, id3v1Block("", "", "", "", "v1 comment", 0)}));
    EXPECT_STREQ(tags.comment, "v1 comment");
}

TEST_F(Id3v2File, UrlFrameGivesTheUrlAfterItsDescription) {
    Bytes plain = frame(4, "WXXX", cat({{0}, {0}, str("http://a.example/")}));
    Bytes described =
        frame(4, "WXXX", cat({{1}, {0xFF, 0xFE, 'h', 0, 0, 0}, str("http://b.example/")}));
    SongTags tags = readBytes(cat({id3v2Tag(4, 0, plain), kAudio}));
    EXPECT_STREQ(tags.url, "http://a.example/");
    tags = readBytes(cat({id3v2Tag(4, 0, cat({plain, described})), kAudio}));
    EXPECT_STREQ(tags.url, "http://b.example/");
}

TEST_F(Id3v2File, ExtendedHeadersAreSkippedByTheirVersionsRule) {
    // 2.3: size 6 counts the bytes after the size field; 2.4: synchsafe 6 counts all.
    Bytes ext23 = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    Bytes ext24 = {0, 0, 0, 6, 1, 0};
    SongTags tags =
        readBytes(cat({id3v2Tag(3, 0x40, cat({ext23, textFrame(3, "TIT2", "v3")})), kAudio}));
    EXPECT_STREQ(tags.title, "v3");
    tags = readBytes(cat({id3v2Tag(4, 0x40, cat({ext24, textFrame(4, "TIT2", "v4")})), kAudio}));
    EXPECT_STREQ(tags.title, "v4");
    // An extended header larger than the tag leaves no frames but a valid data range.
    Bytes tag = id3v2Tag(4, 0x40, cat({{0, 0, 1, 0}, textFrame(4, "TIT2", "lost")}));
    tags = readBytes(cat({tag, kAudio}));
    EXPECT_STREQ(tags.title, "");
    EXPECT_EQ(tags.dataOffset, int32_t(tag.size()));
}

TEST_F(Id3v2File, UnsynchronisationIsUndone) {
    // 2.3: the whole tag is unsynchronised and frame sizes count the restored bytes.
    Bytes frames23 = cat({frame(3, "TIT2", cat({{1}, kNihonUtf16, {0, 0}})),
                          frame(3, "TPE1", cat({{0}, str("A"), {0xFF}, str("B")}))});
    Bytes tag23 = id3v2Tag(3, 0x80, unsynchronise(frames23));
    SongTags tags = readBytes(cat({tag23, kAudio}));
    EXPECT_STREQ(tags.title, kNihonCp932);
    EXPECT_STREQ(tags.artist,
                 "A\xff"
                 "B");
    EXPECT_EQ(tags.dataOffset, int32_t(tag23.size()));

    // 2.4: each frame is unsynchronised on its own and its size counts the stored bytes.
    Bytes content = unsynchronise(cat({{1}, kNihonUtf16, {0, 0}}));
    Bytes frames24 = cat({frame(4, "TIT2", content, 0x02), textFrame(4, "TPE1", "next")});
    tags = readBytes(cat({id3v2Tag(4, 0x80, frames24), kAudio}));
    EXPECT_STREQ(tags.title, kNihonCp932);
    EXPECT_STREQ(tags.artist, "next");
}

TEST_F(Id3v2File, FooterBelongsToTheTag) {
    Bytes body = textFrame(4, "TIT2", "with footer");
    Bytes tag = id3v2Tag(4, 0x10, body);
    Bytes footer = tag;
    footer.resize(10);
    footer[0] = '3';
    footer[1] = 'D';
    footer[2] = 'I';
    SongTags tags = readBytes(cat({tag, footer, kAudio}));
    EXPECT_STREQ(tags.title, "with footer");
    EXPECT_EQ(tags.dataOffset, int32_t(tag.size() + 10));
    EXPECT_EQ(tags.dataLength, int32_t(kAudio.size()));
}

TEST_F(Id3v2File, FrameFlagsThatHideTheTextArePassedOver) {
    Bytes compressed = frame(4, "TIT2", cat({{0, 0, 0, 9}, str("xcompress")}), 0x08 | 0x01);
    Bytes withLength = frame(4, "TPE1", cat({{0, 0, 0, 7}, {0}, str("Artist")}), 0x01);
    Bytes grouped = frame(3, "TALB", cat({{0x42}, {0}, str("Album")}), 0x20);
    SongTags tags = readBytes(cat({id3v2Tag(4, 0, cat({compressed, withLength})), kAudio,
                                   id3v1Block("v1 title", "", "", "", "", 0)}));
    EXPECT_STREQ(tags.title, "v1 title");
    EXPECT_STREQ(tags.artist, "Artist");
    tags = readBytes(cat({id3v2Tag(3, 0, grouped), kAudio}));
    EXPECT_STREQ(tags.album, "Album");
}

TEST_F(Id3v2File, OtherMajorVersionsOnlyMarkTheData) {
    Bytes tag = id3v2Tag(5, 0, textFrame(4, "TIT2", "unknown layout"));
    SongTags tags = readBytes(cat({tag, kAudio}));
    EXPECT_STREQ(tags.title, "");
    EXPECT_EQ(tags.dataOffset, int32_t(tag.size()));
}

TEST_F(Id3v2File, OversizedTagChangesNothing) {
    Bytes tag = id3v2Tag(3, 0, textFrame(3, "TIT2", "v2"));
    tag[6] = 0x7F;  // a size of hundreds of megabytes in a small file
    Bytes file = cat({tag, kAudio, id3v1Block("v1", "", "", "", "", 0)});
    SongTags tags = readBytes(file);
    EXPECT_STREQ(tags.title, "v1");
    EXPECT_EQ(tags.dataOffset, 0);
    EXPECT_EQ(tags.dataLength, int32_t(file.size() - 128));
}

TEST_F(Id3v2File, DamagedFrameEndsTheWalkButKeepsWhatCameBefore) {
    Bytes broken = textFrame(3, "TPE1", "never");
    broken[4] = 0x10;  // a frame claiming far more than the tag holds
    Bytes tag = id3v2Tag(3, 0, cat({textFrame(3, "TIT2", "before"), broken, zeros(20)}));
    SongTags tags = readBytes(cat({tag, kAudio}));
    EXPECT_STREQ(tags.title, "before");
    EXPECT_STREQ(tags.artist, "");
    EXPECT_EQ(tags.dataOffset, int32_t(tag.size()));
}

TEST_F(Id3v2File, EveryCutShortCopyReadsSafely) {
    // Every prefix of a tagged file, from nothing to the whole: never a read past the
    // end (run under AddressSanitizer), and the tag counts only when it fits.
    Bytes body = cat({frame(3, "COMM", cat({{1}, str("eng"), {0xFF, 0xFE, 0, 0}, kNihonUtf16})),
                      frame(3, "TIT2", cat({{1}, kNihonUtf16})), textFrame(3, "TRCK", "12"),
                      frame(3, "WXXX", cat({{0}, str("d"), {0}, str("http://x/")}))});
    Bytes tag = id3v2Tag(3, 0, body);
    Bytes whole = cat({tag, Bytes(40, 0x11)});
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SongTags tags = readBytes(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
        if (n < tag.size()) {
            EXPECT_EQ(tags.dataOffset, 0) << n;
            EXPECT_STREQ(tags.title, "") << n;
        } else {
            EXPECT_EQ(tags.dataOffset, int32_t(tag.size())) << n;
            EXPECT_STREQ(tags.title, kNihonCp932) << n;
            EXPECT_EQ(tags.track, 12) << n;
        }
    }
}

}  // namespace
}  // namespace tembrel::test
