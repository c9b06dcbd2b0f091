// Tags as today's taggers write them: UTF-8 in RIFF INFO and ID3v1, ID3v2 in a RIFF
// chunk, genre references and recording times; built byte by byte and written by
// ffmpeg and kid3-cli.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/text_encoding.h"
#include "tag_bytes.h"
#include "tags/field_text.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

// 雨の歌 in CP932 and UTF-8.
const std::string kRainSongCp932 = "\x89\x4a\x82\xcc\x89\xcc";
const std::string kRainSongUtf8 = "\xe9\x9b\xa8\xe3\x81\xae\xe6\xad\x8c";

SongTags readFileBytes(const TempDir& dir, const Bytes& bytes) {
    writeFile(dir.file("song.wav"), bytes);
    SongTags tags;
    EXPECT_TRUE(tags.read(dir.file("song.wav")));
    return tags;
}

Bytes infoList(std::string_view inam) {
    return chunk("LIST", cat({str("INFO"), chunk("INAM", cat({str(inam), {0}}))}));
}

TEST(UndeclaredText, InfoAndId3v1TextsAreReadAsUtf8OnlyWhenTheyAreUtf8) {
    struct Case {
        const char* what;
        std::string stored;
        std::string read;  // CP932
        bool lossy;
    };
    const Case cases[] = {
        {"UTF-8 Japanese", kRainSongUtf8, kRainSongCp932, false},
        {"CP932 Japanese", kRainSongCp932, kRainSongCp932, false},
        {"ASCII", "Plain title", "Plain title", false},
        {"Latin-1", "Caf\xe9", "Caf\xe9", false},
        {"UTF-8 without a CP932 form", "Caf\xc3\xa9", "Caf?", true},
        {"overlong UTF-8", "\xc0\xaf", "\xc0\xaf", false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SongTags tags = readFileBytes(
            dir, riff("WAVE", cat({fmtChunk(), chunk("data", Bytes(4, 0)), infoList(c.stored)})));
        EXPECT_EQ(std::string(tags.title), c.read);
        EXPECT_EQ(tags.isLossy(tags.title), c.lossy);

        tags.clear();
        ASSERT_TRUE(tags.parseId3v1Block(std::span<const uint8_t, 128>(
            id3v1Block(c.stored, "", "", "", c.stored, 0).data(), 128)));
        EXPECT_EQ(std::string(tags.title), c.read);
        EXPECT_EQ(std::string(tags.comment), c.read);
        EXPECT_EQ(tags.isLossy(tags.comment), c.lossy);
    }
    // A UTF-8 writer cut the 30-byte ID3v1 title inside its eleventh あ: ten are read.
    std::string cut;
    for (int i = 0; i < 11; ++i)
        cut += "\xe3\x81\x82";
    SongTags tags;
    tags.clear();
    ASSERT_TRUE(tags.parseId3v1Block(
        std::span<const uint8_t, 128>(id3v1Block(cut, "", "", "", "", 0).data(), 128)));
    std::string tenA;
    for (int i = 0; i < 10; ++i)
        tenA += "\x82\xa0";
    EXPECT_EQ(std::string(tags.title), tenA);
}

TEST(UndeclaredText, CommonJapaneseTitlesInCp932AreNeverTakenForUtf8) {
    // Kana and the common (JIS level 1) kanji begin with bytes UTF-8 uses only inside a
    // character; rarer kanji can form UTF-8 by chance, but none of these titles does.
    const char* const titles[] = {"雨の歌",
                                  "上を向いて歩こう",
                                  "残酷な天使のテーゼ",
                                  "千と千尋の神隠し",
                                  "となりのトトロ",
                                  "さくらさくら",
                                  "赤とんぼ",
                                  "故郷",
                                  "夏祭り",
                                  "花火",
                                  "夜空ノムコウ",
                                  "涙そうそう",
                                  "川の流れのように",
                                  "津軽海峡冬景色",
                                  "天城越え",
                                  "北国の春",
                                  "昴",
                                  "愛",
                                  "夢",
                                  "嵐",
                                  "絆",
                                  "桜",
                                  "春よ、来い",
                                  "ハナミズキ",
                                  "青い珊瑚礁",
                                  "瑠璃色の地球",
                                  "紅蓮華",
                                  "炎",
                                  "夜に駆ける",
                                  "白日",
                                  "パプリカ",
                                  "打上花火",
                                  "前前前世",
                                  "糸",
                                  "栄光の架橋",
                                  "島唄",
                                  "卒業写真",
                                  "ひこうき雲",
                                  "翼をください",
                                  "見上げてごらん夜の星を",
                                  "いい日旅立ち",
                                  "舟唄",
                                  "与作",
                                  "岸壁の母",
                                  "リンゴの唄",
                                  "青い山脈",
                                  "長崎の鐘",
                                  "悲しい酒",
                                  "柔",
                                  "王将",
                                  "兄弟船",
                                  "矢切の渡し",
                                  "襟裳岬",
                                  "神田川",
                                  "なごり雪",
                                  "精霊流し",
                                  "秋桜",
                                  "関白宣言",
                                  "赤いスイートピー",
                                  "ルビーの指環",
                                  "異邦人",
                                  "贈る言葉",
                                  "大都会",
                                  "勝手にシンドバッド",
                                  "いとしのエリー",
                                  "真夏の果実",
                                  "名もなき詩",
                                  "ロビンソン",
                                  "空も飛べるはず",
                                  "LOVEマシーン",
                                  "夜桜お七",
                                  "雪國",
                                  "酒よ",
                                  "千の風になって",
                                  "負けないで",
                                  "揺れる想い",
                                  "交響曲第5番",
                                  "月光",
                                  "革命",
                                  "英雄",
                                  "田園",
                                  "魔笛",
                                  "椿姫",
                                  "蝶々夫人",
                                  "白鳥の湖",
                                  "くるみ割り人形",
                                  "展覧会の絵",
                                  "威風堂々",
                                  "新世界より",
                                  "鉄腕アトム",
                                  "ドラえもんのうた",
                                  "宇宙戦艦ヤマト",
                                  "銀河鉄道999",
                                  "魂のルフラン",
                                  "残響散歌",
                                  "廻廻奇譚",
                                  "群青",
                                  "香水",
                                  "猫",
                                  "白い恋人達",
                                  "少年時代",
                                  "木蘭の涙",
                                  "未来予想図II",
                                  "①番目の歌～序曲"};
    int taken = 0;
    for (const char* title : titles) {
        const std::string cp932 = text::utf8ToCp932(title);
        ASSERT_EQ(cp932.find('?'), std::string::npos) << title;
        if (text::multiByteUtf8Length(cp932, true))
            ADD_FAILURE() << title << " would be read as UTF-8";
        char field[256];
        storeUndeclaredText(field, cp932);
        taken += cp932 != field;
    }
    EXPECT_EQ(taken, 0);
}

TEST(Id3v2InRiff, Id3v2ChunkFillsWhatInfoLacks) {
    const Bytes frames = cat({textFrame(3, "TIT2", "ID3 title"), textFrame(3, "TPE1", "ID3 artist"),
                              textFrame(3, "TCON", "(17)")});
    TempDir dir;
    for (const char* id : {"id3 ", "ID3 "}) {
        SCOPED_TRACE(id);
        // The ID3v2 chunk after the list: INFO still wins.
        SongTags tags = readFileBytes(
            dir, riff("WAVE", cat({fmtChunk(), chunk("data", Bytes(4, 0)), infoList("Info title"),
                                   chunk(id, id3v2Tag(3, 0, frames))})));
        EXPECT_STREQ(tags.title, "Info title");
        EXPECT_STREQ(tags.artist, "ID3 artist");
        EXPECT_STREQ(tags.genre, "Rock");
        EXPECT_EQ(tags.dataOffset, 12 + 24 + 8);
        EXPECT_EQ(tags.dataLength, 4);
    }
    // A damaged tag in the chunk gives nothing and harms nothing.
    SongTags tags = readFileBytes(
        dir, riff("WAVE", cat({fmtChunk(), chunk("id3 ", str("ID3\x03\x00\x00\x7f\x7f\x7f\x7f")),
                               chunk("data", Bytes(4, 0)), infoList("Info title")})));
    EXPECT_STREQ(tags.title, "Info title");
    EXPECT_EQ(tags.dataLength, 4);
}

TEST(Genres, Id3v2GenreReferencesGiveTheirTableEntry) {
    struct Case {
        const char* tcon;
        int32_t index;
        const char* name;
    };
    const Case cases[] = {
        {"(17)", 17, "Rock"},       {"17", 17, "Rock"},
        {"(9)Metal", 9, "Metal"},   {"(9)(17)", 9, "Metal"},
        {"Rock", 17, "Rock"},       {"Chiptune", kNoGenre, "Chiptune"},
        {"(255)", 255, "Anime"},    {"(256)", kNoGenre, "(256)"},
        {"1984", kNoGenre, "1984"}, {"((Foo)", kNoGenre, "((Foo)"},
        {"", kNoGenre, ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tcon);
        SongTags tags = readFileBytes(
            dir, cat({id3v2Tag(3, 0, textFrame(3, "TCON", c.tcon)), Bytes(16, 0xEE)}));
        EXPECT_EQ(tags.genreIndex, c.index);
        EXPECT_STREQ(tags.genre, c.name);
    }
}

TEST(Genres, Id3v1GenreByte255MeansNoGenre) {
    SongTags tags;
    tags.clear();
    ASSERT_TRUE(tags.parseId3v1Block(
        std::span<const uint8_t, 128>(id3v1Block("t", "", "", "", "", 255).data(), 128)));
    EXPECT_EQ(tags.genreIndex, kNoGenre);
    EXPECT_STREQ(tags.genre, "");
}

TEST(Years, RecordingTimeGivesItsYear) {
    const std::pair<const char*, const char*> cases[] = {
        {"2003-04-05T10:00", "2003"}, {"2003", "2003"}, {"1999-12", "1999"}, {"spring", "spring"}};
    TempDir dir;
    for (const auto& [tdrc, year] : cases) {
        SongTags tags =
            readFileBytes(dir, cat({id3v2Tag(4, 0, textFrame(4, "TDRC", tdrc)), Bytes(16, 0xEE)}));
        EXPECT_STREQ(tags.year, year) << tdrc;
    }
}

// The same, written by the taggers themselves.
class RealTaggers : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveTool("ffmpeg") || !haveTool("kid3-cli") || !haveTool("sox") || !haveTool("lame"))
            GTEST_SKIP() << "needs ffmpeg, kid3-cli, sox and lame";
        ASSERT_EQ(run("sox -D -n -r 44100 -c 1 -b 16 '" + wav_ + "' synth 0.5 sine 440"), 0);
    }
    SongTags tagsOf(const std::string& path) {
        SongTags tags;
        EXPECT_TRUE(tags.read(path));
        return tags;
    }
    TempDir dir_;
    const std::string wav_ = dir_.file("plain.wav");
};

TEST_F(RealTaggers, FfmpegUtf8InfoReadsAsJapanese) {
    const std::string path = dir_.file("u8.wav");
    ASSERT_EQ(run("ffmpeg -loglevel error -i '" + wav_ + "' -metadata title=" + kRainSongUtf8 +
                  " '" + path + "'"),
              0);
    EXPECT_EQ(std::string(tagsOf(path).title), kRainSongCp932);
}

TEST_F(RealTaggers, Kid3Id3v2ChunkInWaveFillsWhatInfoLacks) {
    const std::string path = dir_.file("k.wav");
    writeFile(path, readFile(wav_));
    ASSERT_EQ(run("kid3-cli -c 'tag 2' -c \"set title '" + kRainSongUtf8 +
                  "'\" -c \"set artist 'ID3 artist'\" -c 'set genre Metal' -c 'set date "
                  "2003' -c 'tag 3' -c \"set title 'INFO title'\" '" +
                  path + "' >/dev/null"),
              0);
    SongTags tags = tagsOf(path);
    EXPECT_STREQ(tags.title, "INFO title");
    EXPECT_STREQ(tags.artist, "ID3 artist");
    EXPECT_STREQ(tags.genre, "Metal");
    EXPECT_EQ(tags.genreIndex, 9);
    EXPECT_STREQ(tags.year, "2003");

    ASSERT_EQ(run("kid3-cli -c 'tag 3' -c \"set title ''\" '" + path + "' >/dev/null"), 0);
    EXPECT_EQ(std::string(tagsOf(path).title), kRainSongCp932);
}

TEST_F(RealTaggers, FfmpegGenreReferencesAndRecordingTime) {
    const std::string mp3 = dir_.file("plain.mp3");
    ASSERT_EQ(run("lame --quiet -b 64 '" + wav_ + "' '" + mp3 + "'"), 0);
    for (const char* genre : {"(17)", "17"}) {
        const std::string path = dir_.file("g.mp3");
        ASSERT_EQ(run(std::string("ffmpeg -loglevel error -y -i '") + mp3 +
                      "' -c:a copy -metadata 'genre=" + genre +
                      "' -metadata date=2003-04-05T10:00 '" + path + "'"),
                  0);
        SongTags tags = tagsOf(path);
        EXPECT_EQ(tags.genreIndex, 17) << genre;
        EXPECT_STREQ(tags.genre, "Rock") << genre;
        EXPECT_STREQ(tags.year, "2003") << genre;
    }
    // kid3-cli writes 255 into an ID3v1 block whose genre is not set.
    const std::string v1 = dir_.file("v1.mp3");
    writeFile(v1, readFile(mp3));
    ASSERT_EQ(run("kid3-cli -c 'tag 1' -c \"set title 'One'\" '" + v1 + "' >/dev/null"), 0);
    SongTags tags = tagsOf(v1);
    EXPECT_STREQ(tags.title, "One");
    EXPECT_STREQ(tags.genre, "");
}

}  // namespace
}  // namespace tembrel::test
