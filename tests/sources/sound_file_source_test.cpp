// FLAC and Ogg files made by flac, oggenc and opusenc, read through the selector.
#include "sources/sound_file_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/source_selector.h"
#include "test_support.h"

namespace tembrel {
namespace {

using test::readFile;
using test::TempDir;
using Bytes = std::vector<uint8_t>;

Bytes readAll(SourceSelector& selector) {
    Bytes all;
    std::vector<uint8_t> buffer(1000);  // no multiple of any sample frame
    for (uint32_t got = 1; got > 0;) {
        EXPECT_TRUE(selector.read(buffer, got));
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    }
    return all;
}

TEST(SoundFileSource, FlacGivesItsOwnWidthAndOggTheDecodersFloats) {
    for (const char* tool : {"sox", "flac", "oggenc", "opusenc"})
        ASSERT_TRUE(test::haveTool(tool)) << tool;
    TempDir dir;
    struct Row {
        const char* file;
        const char* make;  // from $WAV, a sox file of the row's rate, channels and width
        uint32_t rate;
        uint16_t channels, bits, tag;
        uint32_t frames;
    };
    const Row rows[] = {
        {"s16.flac", "flac -s -o $OUT $WAV", 44100, 2, 16, 1, 4410},
        {"m24.flac", "flac -s -o $OUT $WAV", 48000, 1, 24, 1, 4800},
        {"m8.flac", "flac -s -o $OUT $WAV", 8000, 1, 8, 1, 800},
        {"flac.wav", "flac -s -o $OUT $WAV", 22050, 2, 16, 1, 2205},  // named as what it is not
        {"v.ogg", "oggenc -Q -o $OUT $WAV", 44100, 2, 32, 3, 4410},
        {"o.opus", "opusenc --quiet $WAV $OUT", 48000, 1, 32, 3, 4800},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string out = dir.file(row.file);
        const std::string wav = out + ".src.wav";
        ASSERT_EQ(test::run("sox -n -r " + std::to_string(row.rate) + " -c " +
                            std::to_string(row.channels) + " -b " +
                            std::to_string(row.bits == 32 ? 16 : row.bits) + " '" + wav +
                            "' synth 0.1 sine 440 gain -3 && OUT='" + out + "' WAV='" + wav +
                            "' && " + row.make + " 2>/dev/null"),
                  0);
        SourceSelector selector;
        ASSERT_TRUE(selector.open(out.c_str(), false));
        EXPECT_EQ(selector.kindName, "FLAC/Ogg");
        const WAVEFORMATEX& f = *selector.format;
        EXPECT_EQ(f.wFormatTag, row.tag);
        EXPECT_EQ(f.nSamplesPerSec, row.rate);
        EXPECT_EQ(f.nChannels, row.channels);
        EXPECT_EQ(f.wBitsPerSample, row.bits);
        EXPECT_EQ(f.nBlockAlign, row.channels * row.bits / 8);
        EXPECT_EQ(selector.source->decodesToFloat(), row.tag == 3);
        EXPECT_EQ(selector.length, int32_t(row.frames * f.nBlockAlign));
        const Bytes pcm = readAll(selector);
        EXPECT_EQ(pcm.size(), std::size_t(selector.length));
        // FLAC states its length in its stream header; an Ogg file's is its last page's.
        const auto announced = selector.source->announcedLength();
        EXPECT_EQ(announced.has_value(), row.tag == 1);
        if (announced) {
            EXPECT_EQ(announced->bytes, pcm.size());
        }
        // FLAC is lossless: the very bytes of the WAV file's data, whatever the width.
        if (row.tag == 1) {
            const Bytes source = readFile(wav);
            ASSERT_GE(source.size(), pcm.size());
            EXPECT_TRUE(
                std::equal(pcm.begin(), pcm.end(), source.end() - std::ptrdiff_t(pcm.size())));
        }
        // Back to the start gives the same bytes; a skip passes over whole sample frames.
        ASSERT_TRUE(selector.source->rewind());
        EXPECT_EQ(readAll(selector), pcm);
        ASSERT_TRUE(selector.source->rewind());
        uint32_t skipped = 0;
        ASSERT_TRUE(selector.source->skip(50, skipped));
        EXPECT_EQ(skipped, row.rate / 20 * f.nBlockAlign);
        EXPECT_EQ(readAll(selector).size(), pcm.size() - skipped);
    }
}

TEST(SoundFileSource, OtherContainersAreNotItsOwnAndAnEmptyFlacSaysSo) {
    ASSERT_TRUE(test::haveTool("flac"));
    TempDir dir;
    ASSERT_EQ(test::run("sox -n -r 44100 -c 2 -b 16 " + dir.file("x.aiff") +
                        " synth 0.1 sine 440 && flac -s --force-raw-format --endian=little "
                        "--sign=signed --channels=1 --bps=16 --sample-rate=44100 -o " +
                        dir.file("none.flac") + " - </dev/null"),
              0);
    SourceSelector selector;
    EXPECT_FALSE(selector.open(dir.file("x.aiff").c_str(), false));
    EXPECT_EQ(selector.refusal, "");
    EXPECT_EQ(selector.whyNotOpened(),
              "not a WAV, MP3, RMP, FLAC, Ogg or VQF file that can be read");
    EXPECT_FALSE(selector.open(dir.file("none.flac").c_str(), false));
    EXPECT_EQ(selector.whyNotOpened(), "holds no audio frames");
}

TEST(SoundFileSource, FlacCutShortDeliversLessThanItAnnounces) {
    ASSERT_TRUE(test::haveTool("flac"));
    TempDir dir;
    const std::string flac = dir.file("cut.flac");
    ASSERT_EQ(test::run("sox -n -r 44100 -c 2 -b 16 " + dir.file("n.wav") +
                        " synth 1 whitenoise gain -3 2>/dev/null && flac -s -o " + flac + " " +
                        dir.file("n.wav") + " && truncate -s 60000 " + flac),
              0);
    SourceSelector selector;
    ASSERT_TRUE(selector.open(flac.c_str(), false));
    const std::size_t delivered = readAll(selector).size();
    const auto announced = selector.source->announcedLength();
    ASSERT_TRUE(announced.has_value());
    EXPECT_EQ(announced->bytes, 44100u * 4);
    EXPECT_GT(delivered, 0u);
    EXPECT_LT(delivered + announced->tolerance, announced->bytes);
}

}  // namespace
}  // namespace tembrel
