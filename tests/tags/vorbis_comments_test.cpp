// Vorbis comments of FLAC and Ogg files in the song record.
#include "tags/vorbis_comments.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/text_encoding.h"
#include "test_support.h"

namespace tembrel {
namespace {

std::string field(const char* text) {
    return text::cp932ToUtf8(text);
}

TEST(VorbisComments, TextsGoIntoTheRecordAsCp932AndMarkWhatWasReplaced) {
    auto tags = std::make_unique<SongTags>();
    tags->clear();
    const VorbisText texts[] = {
        {VorbisField::Title, "朝 ～春～ ①"},
        {VorbisField::Artist, "Guitar 🎸"},
        {VorbisField::Album, "四季"},
        {VorbisField::Date, "2003-04-05"},
        {VorbisField::Comment, std::string_view("a\0b", 3)},
        {VorbisField::TrackNumber, "3/12"},
        {VorbisField::Genre, "Rock"},
        {VorbisField::Copyright, "(C) 山田"},
    };
    applyVorbisComments(*tags, texts);
    EXPECT_EQ(field(tags->title), "朝 ～春～ ①");
    EXPECT_FALSE(tags->isLossy(tags->title));
    EXPECT_EQ(field(tags->artist), "Guitar ?");
    EXPECT_TRUE(tags->isLossy(tags->artist));
    EXPECT_EQ(field(tags->album), "四季");
    EXPECT_EQ(std::string(tags->year), "2003");
    EXPECT_EQ(std::string(tags->comment), "a");
    EXPECT_EQ(tags->track, 3);
    EXPECT_EQ(std::string(tags->genre), "Rock");
    EXPECT_EQ(tags->genreIndex, 17);
    EXPECT_EQ(field(tags->copyright), "(C) 山田");

    // A later text of a field wins, and takes its lossy mark with it; a date that does
    // not begin with a year stays as it is; a track that is no number changes nothing; a
    // genre of no table entry has no index.
    const VorbisText later[] = {{VorbisField::Artist, "歌手"},
                                {VorbisField::Date, "Spring 2003"},
                                {VorbisField::TrackNumber, "n/a"},
                                {VorbisField::Genre, "Chiptune"}};
    applyVorbisComments(*tags, later);
    EXPECT_EQ(field(tags->artist), "歌手");
    EXPECT_FALSE(tags->isLossy(tags->artist));
    EXPECT_EQ(std::string(tags->year), "Spring 2003");
    EXPECT_EQ(tags->track, 3);
    EXPECT_EQ(tags->genreIndex, kNoGenre);
}

TEST(VorbisComments, ReadFromFlacOggAndOpusFilesOnly) {
    for (const char* tool : {"sox", "flac", "metaflac", "oggenc", "opusenc"})
        ASSERT_TRUE(test::haveTool(tool)) << tool;
    test::TempDir dir;
    ASSERT_EQ(test::run("cd '" + dir.path().string() +
                        "' && sox -n -r 44100 -c 1 -b 16 a.wav synth 0.1 sine 440 && "
                        "flac -s -o a.flac a.wav && metaflac --set-tag=TITLE=雨 "
                        "--set-tag=TRACKNUMBER=4 a.flac && oggenc -Q -t 風 -o a.ogg a.wav && "
                        "opusenc --quiet --title 雪 a.wav a.opus"),
              0);
    for (const auto& [file, title] :
         {std::pair{"a.flac", "雨"}, {"a.ogg", "風"}, {"a.opus", "雪"}, {"a.wav", ""}}) {
        SCOPED_TRACE(file);
        auto tags = std::make_unique<SongTags>();
        tags->read(dir.file(file));
        EXPECT_EQ(field(tags->title), title);
    }
    auto tags = std::make_unique<SongTags>();
    tags->read(dir.file("a.flac"));
    EXPECT_EQ(tags->track, 4);
}

}  // namespace
}  // namespace tembrel
