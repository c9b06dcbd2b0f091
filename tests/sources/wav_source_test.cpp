#include "sources/wav_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "tests/platform/riff_builder.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::chunk;
using test::counting;
using test::fmtPayload;
using test::form;
using test::TempDir;

Bytes listInfo() {
    return form("LIST", "INFO", {chunk("INAM", test::bytesOf("Song"))});
}

Bytes readAll(AudioSource& source, std::size_t step = 1000) {
    Bytes out;
    Bytes buffer(step);
    uint32_t got = 0;
    while (source.read(buffer, got) && got > 0)
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    return out;
}

// The bytes of the format block, cbSize and tail included.
Bytes formatBlock(const WAVEFORMATEX* f) {
    const auto* raw = reinterpret_cast<const uint8_t*>(f);
    return Bytes(raw, raw + sizeof(WAVEFORMATEX) + f->cbSize);
}

TEST(WavSource, FindsFormatAndDataInAnyOrderAmongOtherChunks) {
    const Bytes fmt = chunk("fmt ", fmtPayload(1, 2, 22050, 16));
    const Bytes data = chunk("data", counting(400, 7));
    const Bytes odd = chunk("junk", counting(5));
    const std::vector<std::vector<Bytes>> layouts = {
        {fmt, data},
        {fmt, listInfo(), data, listInfo()},
        {listInfo(), data, odd, fmt, listInfo()},
        {odd, data, fmt},
    };
    TempDir dir;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE("layout " + std::to_string(i));
        test::writeFile(dir.path() / "a.wav", form("RIFF", "WAVE", layouts[i]));
        WavSource source;
        ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
        const WAVEFORMATEX* f = source.format();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->wFormatTag, 1);
        EXPECT_EQ(f->nChannels, 2);
        EXPECT_EQ(f->nSamplesPerSec, 22050u);
        EXPECT_EQ(f->nAvgBytesPerSec, 88200u);
        EXPECT_EQ(f->nBlockAlign, 4);
        EXPECT_EQ(f->wBitsPerSample, 16);
        EXPECT_EQ(f->cbSize, 0);
        EXPECT_EQ(source.length(), 400);
        EXPECT_EQ(readAll(source, 64), counting(400, 7));
    }
}

TEST(WavSource, PcmFormatIgnoresStoredExtension) {
    Bytes payload = fmtPayload(1, 1, 8000, 8);
    bytes::appendLE(payload, 22, 2);  // a stored cbSize, not read for PCM
    TempDir dir;
    test::writeFile(dir.path() / "a.wav",
                    form("RIFF", "WAVE", {chunk("fmt ", payload), chunk("data", counting(8))}));
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
    EXPECT_EQ(source.format()->cbSize, 0);
    EXPECT_EQ(source.format()->wBitsPerSample, 8);
    EXPECT_EQ(source.length(), 8);
}

TEST(WavSource, OtherFormatsKeepTheirExtraBytes) {
    Bytes payload = fmtPayload(0x11, 1, 11025, 4);  // not checked here: taken as stored
    bytes::appendLE(payload, 2, 2);
    payload.insert(payload.end(), {0xF9, 0x01});
    TempDir dir;
    test::writeFile(dir.path() / "a.wav",
                    form("RIFF", "WAVE", {chunk("fmt ", payload), chunk("data", counting(6))}));
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
    EXPECT_EQ(formatBlock(source.format()), payload);
    EXPECT_EQ(source.format()->wFormatTag, 0x11);
    EXPECT_EQ(readAll(source), counting(6));
}

TEST(WavSource, NonPcmFormatWithoutExtensionStaysInsideItsChunk) {
    TempDir dir;
    // A 16-byte float format: cbSize is absent and must not be taken from "data".
    test::writeFile(dir.path() / "float.wav",
                    form("RIFF", "WAVE",
                         {chunk("fmt ", fmtPayload(3, 1, 8000, 32)), chunk("data", counting(8))}));
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("float.wav").c_str()));
    EXPECT_EQ(source.format()->cbSize, 0);
    EXPECT_EQ(source.format()->wFormatTag, 3);

    // A cbSize larger than the chunk holds is refused.
    Bytes payload = fmtPayload(0x11, 1, 8000, 4);
    bytes::appendLE(payload, 4, 2);
    payload.insert(payload.end(), {1, 2});
    test::writeFile(dir.path() / "bad.wav",
                    form("RIFF", "WAVE", {chunk("fmt ", payload), chunk("data", counting(8))}));
    EXPECT_FALSE(source.open(dir.file("bad.wav").c_str()));
    EXPECT_EQ(source.format(), nullptr);
}

TEST(WavSource, ReadStopsAtTheEndOfAnOddDataChunk) {
    TempDir dir;
    test::writeFile(dir.path() / "a.wav", form("RIFF", "WAVE",
                                               {chunk("fmt ", fmtPayload(1, 1, 8000, 8)),
                                                chunk("data", counting(7, 1)), listInfo()}));
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
    EXPECT_EQ(source.length(), 7);
    Bytes buffer(100, 0xEE);
    uint32_t got = 99;
    ASSERT_TRUE(source.read(buffer, got));
    EXPECT_EQ(got, 7u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 7), counting(7, 1));
    EXPECT_EQ(buffer[7], 0xEE);  // neither the pad byte nor the LIST chunk
    ASSERT_TRUE(source.read(buffer, got));
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(source.read(std::span<uint8_t>(), got));
    EXPECT_EQ(got, 0u);

    ASSERT_TRUE(source.rewind());
    EXPECT_EQ(readAll(source, 3), counting(7, 1));
}

TEST(WavSource, RefusesWhatIsNotACompleteRiffWave) {
    const Bytes fmt = chunk("fmt ", fmtPayload(1, 1, 8000, 8));
    const Bytes data = chunk("data", counting(8));
    struct Case {
        const char* what;
        Bytes content;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"text", test::bytesOf("not a wave file at all")},
        {"RIFF of another form", form("RIFF", "RMP3", {fmt, data})},
        {"LIST at the top", form("LIST", "WAVE", {fmt, data})},
        {"no fmt", form("RIFF", "WAVE", {data})},
        {"fmt shorter than 16", form("RIFF", "WAVE", {chunk("fmt ", Bytes(14, 1)), data})},
        {"no data", form("RIFF", "WAVE", {fmt, listInfo()})},
        {"data only inside a LIST", form("RIFF", "WAVE", {fmt, form("LIST", "wavl", {data})})},
    };
    // Cut short inside the format chunk, the sizes fixed up to the bytes present.
    Bytes cut = form("RIFF", "WAVE", {data, fmt});
    cut.erase(cut.end() - 3, cut.end());
    bytes::storeLE(std::span(cut).subspan(4), uint32_t(cut.size() - 8), 4);
    cases.push_back({"fmt cut short", cut});
    // A non-PCM format whose extra bytes the file lacks.
    Bytes adpcm = fmtPayload(2, 1, 8000, 4);
    bytes::appendLE(adpcm, 32, 2);
    adpcm.resize(adpcm.size() + 32);
    const Bytes whole = form("RIFF", "WAVE", {data, chunk("fmt ", adpcm)});
    cases.push_back({"fmt extension cut short", Bytes(whole.begin(), whole.end() - 10)});

    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what + (" (" + std::to_string(c.content.size()) + " bytes)"));
        test::writeFile(dir.path() / "x.wav", c.content);
        WavSource source;
        EXPECT_FALSE(source.open(dir.file("x.wav").c_str()));
        EXPECT_EQ(source.format(), nullptr);
        Bytes buffer(4);
        uint32_t got = 5;
        EXPECT_FALSE(source.read(buffer, got));
        EXPECT_EQ(got, 0u);
    }
    WavSource source;
    EXPECT_FALSE(source.open(dir.file("missing.wav").c_str()));
    EXPECT_FALSE(source.open(dir.path().c_str()));
}

// Cut short at every length with the RIFF size still claiming the whole file: the file
// opens once the "data" header is there and offers the whole frames present.
TEST(WavSource, CutShortDataOffersTheWholeFramesPresent) {
    const Bytes whole = form(
        "RIFF", "WAVE",
        {chunk("fmt ", fmtPayload(1, 2, 8000, 16)), listInfo(), chunk("data", counting(40, 3))});
    const std::size_t dataStart = whole.size() - 40;
    TempDir dir;
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        test::writeFile(dir.path() / "x.wav", Bytes(whole.begin(), whole.begin() + n));
        WavSource source;
        if (n < dataStart) {
            EXPECT_FALSE(source.open(dir.file("x.wav").c_str()));
            EXPECT_EQ(source.format(), nullptr);
            continue;
        }
        ASSERT_TRUE(source.open(dir.file("x.wav").c_str()));
        const auto frames = (n - dataStart) / 4 * 4;
        EXPECT_EQ(source.length(), int32_t(frames));
        EXPECT_EQ(source.format()->nBlockAlign, 4);
        EXPECT_EQ(readAll(source, 7), counting(frames, 3));
        ASSERT_TRUE(source.rewind());
        EXPECT_EQ(source.length(), int32_t(frames));
        EXPECT_EQ(readAll(source), counting(frames, 3));
    }
}

// Files written to a stream: the writer could not go back to fill in the sizes.
TEST(WavSource, OpensFilesWhoseSizesWereNeverFixedUp) {
    struct Case {
        const char* what;
        uint32_t riffSize;
        uint32_t dataSize;
    };
    const Case cases[] = {
        {"both 0xFFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF},
        {"RIFF 0, data 0xFFFFFFFF", 0, 0xFFFFFFFF},
        {"RIFF 0, data 0x7FFFF000", 0, 0x7FFFF000},
        {"RIFF 0x7FFFF024, data 0x7FFFF000", 0x7FFFF024, 0x7FFFF000},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // 8-bit stereo, 301 data bytes: 150 frames and one stray byte.
        Bytes content =
            form("RIFF", "WAVE",
                 {chunk("fmt ", fmtPayload(1, 2, 8000, 8)), chunk("data", counting(301), false)});
        content.pop_back();  // the pad byte of the odd RIFF payload
        bytes::storeLE(std::span(content).subspan(4), c.riffSize, 4);
        bytes::storeLE(std::span(content).subspan(40), c.dataSize, 4);
        test::writeFile(dir.path() / "s.wav", content);
        WavSource source;
        ASSERT_TRUE(source.open(dir.file("s.wav").c_str()));
        EXPECT_EQ(source.length(), 300);
        EXPECT_EQ(readAll(source, 64), counting(300));
        // Skipping past the bytes present leaves nothing to read.
        ASSERT_TRUE(source.rewind());
        uint32_t counter = 0;
        ASSERT_TRUE(source.skip(1000, counter));
        Bytes buffer(4);
        uint32_t got = 9;
        ASSERT_TRUE(source.read(buffer, got));
        EXPECT_EQ(got, 0u);
    }
}

TEST(WavSource, SkipAddsWholeSecondsThenTheRest) {
    TempDir dir;
    const uint32_t size = 44100 * 4 * 2;
    test::writeFile(dir.path() / "a.wav", form("RIFF", "WAVE",
                                               {chunk("fmt ", fmtPayload(1, 2, 44100, 16)),
                                                chunk("data", counting(size))}));
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
    uint32_t counter = 10;
    ASSERT_TRUE(source.skip(1500, counter));
    EXPECT_EQ(counter, 10u + 176400u + 88200u);
    Bytes buffer(4);
    uint32_t got = 0;
    ASSERT_TRUE(source.read(buffer, got));
    ASSERT_EQ(got, 4u);
    EXPECT_EQ(buffer, counting(4, uint8_t(264600 % 256)));

    // A skip beyond the data leaves nothing to read, not the bytes after the chunk.
    ASSERT_TRUE(source.skip(5000, counter));
    ASSERT_TRUE(source.read(buffer, got));
    EXPECT_EQ(got, 0u);
}

TEST(WavSource, ReopenAndCloseLifecycle) {
    TempDir dir;
    test::writeFile(dir.path() / "a.wav",
                    form("RIFF", "WAVE",
                         {chunk("fmt ", fmtPayload(1, 1, 8000, 8)), chunk("data", counting(4))}));
    test::writeWav(dir.path() / "b.wav", 11025, 2, 16, test::sine(11025, 2, 100, 440));
    WavSource source;
    EXPECT_EQ(source.format(), nullptr);
    source.close();  // harmless before any open
    ASSERT_TRUE(source.open(dir.file("a.wav").c_str()));
    // Opening again while open releases the first file and reports the second.
    ASSERT_TRUE(source.open(dir.file("b.wav").c_str()));
    EXPECT_EQ(source.format()->nSamplesPerSec, 11025u);
    EXPECT_EQ(source.length(), 400);
    source.close();
    // The format stays readable after close; reading does not.
    ASSERT_NE(source.format(), nullptr);
    EXPECT_EQ(source.format()->nChannels, 2);
    Bytes buffer(4);
    uint32_t got = 0;
    EXPECT_FALSE(source.read(buffer, got));
    EXPECT_EQ(got, 0u);
}

TEST(WavSource, DataLargerThanASignedLengthIsRefused) {
    TempDir dir;
    const uint32_t dataSize = 0x80000000u;
    Bytes head = form("RIFF", "WAVE", {chunk("fmt ", fmtPayload(1, 2, 44100, 16))},
                      4 + 24 + 8 + int64_t(dataSize));
    test::appendId(head, "data");
    bytes::appendLE(head, dataSize, 4);
    const auto path = dir.path() / "huge.wav";
    test::writeFile(path, head);
    std::error_code ec;
    fs::resize_file(path, head.size() + dataSize, ec);  // sparse where the file system allows
    if (ec)
        GTEST_SKIP() << "cannot make a 2 GiB file here";
    WavSource source;
    EXPECT_FALSE(source.open(path.c_str()));

    // Sizes never fixed up: clamped to the file, the data is still too large.
    for (const std::size_t at : {std::size_t(4), head.size() - 4})
        bytes::storeLE(std::span(head).subspan(at), 0xFFFFFFFF, 4);
    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
        ASSERT_TRUE(out.good());
    }
    ASSERT_EQ(fs::file_size(path), head.size() + dataSize);
    EXPECT_FALSE(source.open(path.c_str()));
}

TEST(WavSource, OpensAFileMadeBySox) {
    if (!test::haveTool("sox"))
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    const auto path = dir.file("x.wav");
    ASSERT_EQ(test::run("sox -n -r 22050 -c 2 -b 16 '" + path + "' synth 1 sine 440 2>/dev/null"),
              0);
    WavSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const WAVEFORMATEX* f = source.format();
    EXPECT_EQ(f->nChannels, 2);
    EXPECT_EQ(f->nSamplesPerSec, 22050u);
    EXPECT_EQ(f->wBitsPerSample, 16);
    EXPECT_EQ(f->nBlockAlign, 4);
    EXPECT_EQ(source.length(), 22050 * 4);
    EXPECT_EQ(readAll(source, 4096).size(), 22050u * 4);
}

// Written to a pipe, sox cannot fill in the sizes: it leaves RIFF 0x7FFFF048 and
// "data" 0x7FFFF000 on a file of 192080 bytes (1 s of 32-bit float mono at 48 kHz).
TEST(WavSource, OpensAFileSoxWroteToAPipe) {
    if (!test::haveTool("sox"))
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    const auto path = dir.file("x.wav");
    ASSERT_EQ(test::run("sox -n -t wav - synth 1 sine 440 2>/dev/null | cat > '" + path + "'"), 0);
    const Bytes content = test::readFile(path);
    ASSERT_GT(content.size(), 48000u * 4);
    // The sizes were indeed left unfixed.
    EXPECT_GT(bytes::readLE32(std::span(content).subspan(4)), content.size());

    WavSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    const WAVEFORMATEX* f = source.format();
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nSamplesPerSec, 48000u);
    EXPECT_EQ(f->nBlockAlign, 4);
    EXPECT_EQ(source.length(), 48000 * 4);
    const Bytes samples = readAll(source, 4096);
    ASSERT_EQ(samples.size(), 48000u * 4);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), content.end() - 48000 * 4));
}

}  // namespace
}  // namespace tembrel
