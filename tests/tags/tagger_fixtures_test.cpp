// Tags written by a common tagger (mutagen) over MP3 files encoded by lame.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

// The python3 that has mutagen: the system one first, since PATH may lead elsewhere.
std::string pythonWithMutagen() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (run(std::string(python) + " -c 'import mutagen' >/dev/null 2>&1") == 0)
            return python;
    }
    return {};
}

class TaggerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        python_ = pythonWithMutagen();
        if (python_.empty() || !haveTool("sox") || !haveTool("lame"))
            GTEST_SKIP() << "needs sox, lame and python3 with mutagen";
        const std::string wav = dir_.file("sine.wav");
        ASSERT_EQ(run("sox -n -r 44100 -c 1 -b 16 '" + wav + "' synth 1 sine 440"), 0);
        ASSERT_EQ(run("lame --silent -b 64 '" + wav + "' '" + dir_.file("plain.mp3") + "'"), 0);
        plain_ = readFile(dir_.file("plain.mp3"));
        ASSERT_GT(plain_.size(), 1000u);
    }

    // A copy of the plain MP3 tagged as `kind` (see the script).
    std::string tagged(const std::string& kind) {
        const std::string path = dir_.file(kind + ".mp3");
        writeFile(path, plain_);
        EXPECT_EQ(run(python_ + " '" TAGGER_SCRIPT "' " + kind + " '" + path + "'"), 0);
        return path;
    }

    // The audio range must be exactly the untagged MP3.
    void expectAudioRange(const std::string& path, const SongTags& tags) {
        std::vector<uint8_t> bytes = readFile(path);
        ASSERT_LE(uint64_t(tags.dataOffset) + uint64_t(tags.dataLength), bytes.size());
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + tags.dataOffset,
                                       bytes.begin() + tags.dataOffset + tags.dataLength),
                  plain_);
    }

    TempDir dir_;
    std::string python_;
    std::vector<uint8_t> plain_;
};

TEST_F(TaggerFixture, Version23WithUtf16TextsAndACoverPicture) {
    const std::string path = tagged("v23-utf16");
    SongTags tags;
    tags.read(path);
    // 150 characters of 日本語 in CP932 are 300 bytes; the field keeps 127 whole ones.
    std::string expected;
    for (int i = 0; i < 42; ++i)
        expected += "\x93\xfa\x96\x7b\x8c\xea";
    expected += "\x93\xfa";
    EXPECT_EQ(std::string(tags.title), expected);
    EXPECT_STREQ(tags.artist, "\x89\xcc\x8e\xe8");                   // 歌手
    EXPECT_STREQ(tags.album, "Album \x87\x40");                      // Album ①
    EXPECT_STREQ(tags.comment, "\x83\x52\x83\x81\x83\x93\x83\x67");  // コメント
    EXPECT_STREQ(tags.year, "1999");
    EXPECT_STREQ(tags.genre, "Anime");
    EXPECT_EQ(tags.track, 3);
    expectAudioRange(path, tags);
}

TEST_F(TaggerFixture, Version24WithUtf8Texts) {
    const std::string path = tagged("v24-utf8");
    SongTags tags;
    tags.read(path);
    EXPECT_STREQ(tags.title, "\x94\x67\x81\x60\x87\x40");  // 波～①
    EXPECT_STREQ(tags.artist, "Artist");
    EXPECT_EQ(tags.track, 5);
    EXPECT_STREQ(tags.year, "2021");
    EXPECT_STREQ(tags.composer, "\x8d\xec\x8b\xc8");  // 作曲
    EXPECT_STREQ(tags.software, "LAME");
    EXPECT_STREQ(tags.comment, "UTF-8 comment");
    EXPECT_STREQ(tags.url, "http://example.org/");
    expectAudioRange(path, tags);
}

TEST_F(TaggerFixture, Version11BlockAtTheEnd) {
    const std::string path = tagged("v11");
    SongTags tags;
    tags.read(path);
    EXPECT_STREQ(tags.title, "Version one");
    EXPECT_STREQ(tags.artist, "Old Artist");
    EXPECT_STREQ(tags.comment, "");
    EXPECT_EQ(tags.track, 7);
    EXPECT_EQ(tags.genreIndex, 145);
    EXPECT_STREQ(tags.genre, "Anime");
    EXPECT_EQ(tags.dataOffset, 0);
    expectAudioRange(path, tags);
}

}  // namespace
}  // namespace tembrel::test
