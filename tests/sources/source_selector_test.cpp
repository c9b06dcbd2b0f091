#include "sources/source_selector.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/byte_order.h"
#include "sources/source_kinds.h"
#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using Bytes = std::vector<uint8_t>;

std::size_t openDescriptors() {
    return std::size_t(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST(SourceKinds, FixedOrderWithTheirExtensions) {
    const std::vector<std::pair<std::string_view, std::string_view>> order = {
        {"VQF", ".vqf"}, {"WAV", ".wav"}, {"MP3", ".mp3"}, {"FLAC/Ogg", ".flac"}};
    std::size_t next = 0;
    for (const SourceKind& kind : sourceKinds()) {
        while (next < order.size() && order[next].first != kind.name)
            ++next;
        ASSERT_LT(next, order.size()) << kind.name << " is unknown or out of order";
        EXPECT_EQ(kind.extension, order[next].second);
        ASSERT_NE(kind.create, nullptr);
        EXPECT_NE(kind.create(), nullptr);
        ++next;
    }
    EXPECT_FALSE(sourceKinds().empty());
}

TEST(SourceSelector, ContentDecidesNotTheName) {
    TempDir dir;
    test::writeWav(dir.path() / "song.mp3", 22050, 1, 16, test::sine(22050, 1, 300, 440));
    SourceSelector selector;
    ASSERT_TRUE(selector.open(dir.file("song.mp3").c_str(), false));
    ASSERT_NE(selector.source, nullptr);
    EXPECT_EQ(selector.kindName, "WAV");
    ASSERT_NE(selector.format, nullptr);
    EXPECT_EQ(selector.format->nSamplesPerSec, 22050u);
    EXPECT_EQ(selector.format, selector.source->format());
    EXPECT_EQ(selector.length, 600);
}

TEST(SourceSelector, AppendedExtensionsStartFromTheCallersPath) {
    TempDir dir;
    test::writeWav(dir.path() / "song.wav", 8000, 1, 8, test::sine(8000, 1, 50, 440));
    const std::string base = dir.file("song");
    SourceSelector selector;
    ASSERT_TRUE(selector.open(base.c_str(), true));
    EXPECT_EQ(selector.kindName, "WAV");
    EXPECT_EQ(selector.length, 50);
    // Without the extension the bare path names nothing.
    EXPECT_FALSE(selector.open(base.c_str(), false));

    // A RIFF WAVE reachable only as song2.mp3: the WAV attempt looks at song2.wav,
    // never at the caller's path with another kind's extension.
    test::writeWav(dir.path() / "song2.mp3", 8000, 1, 8, test::sine(8000, 1, 50, 440));
    const std::string base2 = dir.file("song2");
    EXPECT_FALSE(selector.open(base2.c_str(), true));
    EXPECT_EQ(selector.source, nullptr);
}

TEST(SourceSelector, SecondOpenReleasesTheFirstEvenWhenItFails) {
    TempDir dir;
    test::writeWav(dir.path() / "a.wav", 8000, 1, 16, test::sine(8000, 1, 10, 440));
    test::writeFile(dir.path() / "notes.txt", "plain text");
    const std::size_t baseline = openDescriptors();
    {
        SourceSelector selector;
        ASSERT_TRUE(selector.open(dir.file("a.wav").c_str(), false));
        ASSERT_TRUE(selector.open(dir.file("a.wav").c_str(), false));
        EXPECT_EQ(openDescriptors(), baseline + 1);

        EXPECT_FALSE(selector.open(dir.file("notes.txt").c_str(), false));
        EXPECT_EQ(selector.source, nullptr);
        EXPECT_TRUE(selector.kindName.empty());
        EXPECT_EQ(openDescriptors(), baseline);

        Bytes buffer(8);
        uint32_t got = 7;
        EXPECT_FALSE(selector.read(buffer, got));
        EXPECT_EQ(got, 0u);

        ASSERT_TRUE(selector.open(dir.file("a.wav").c_str(), false));
        selector.close();
        selector.close();
        EXPECT_EQ(selector.source, nullptr);
        EXPECT_EQ(openDescriptors(), baseline);
        ASSERT_TRUE(selector.open(dir.file("a.wav").c_str(), false));
    }
    // Destruction closes the source.
    EXPECT_EQ(openDescriptors(), baseline);
}

TEST(SourceSelector, RefusesWhatNoKindAcceptsWithoutFailingHard) {
    TempDir dir;
    test::writeFile(dir.path() / "empty.wav", "");
    fs::create_directory(dir.path() / "folder.wav");
    SourceSelector selector;
    for (const std::string& path :
         {dir.file("empty.wav"), dir.file("folder.wav"), dir.file("missing.wav"),
          std::string(5000, 'a'), std::string()}) {
        EXPECT_FALSE(selector.open(path.c_str(), false)) << path.substr(0, 80);
        EXPECT_FALSE(selector.open(path.c_str(), true)) << path.substr(0, 80);
        EXPECT_EQ(selector.source, nullptr);
    }
    EXPECT_FALSE(selector.open(nullptr, false));
}

TEST(SourceSelector, ReadingPastTheEndGivesTheRestThenNothing) {
    TempDir dir;
    const auto samples = test::sine(11025, 2, 1000, 440);
    test::writeWav(dir.path() / "a.wav", 11025, 2, 16, samples);
    SourceSelector selector;
    ASSERT_TRUE(selector.open(dir.file("a.wav").c_str(), false));
    ASSERT_EQ(selector.length, 4000);

    Bytes buffer(3000);
    uint32_t got = 0;
    ASSERT_TRUE(selector.read(buffer, got));
    EXPECT_EQ(got, 3000u);
    ASSERT_TRUE(selector.read(buffer, got));
    EXPECT_EQ(got, 1000u);
    // The last frame's samples, little-endian as stored.
    EXPECT_EQ(bytes::readSampleLE16(std::span(buffer).subspan(996)), samples[1998]);
    ASSERT_TRUE(selector.read(buffer, got));
    EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace tembrel
