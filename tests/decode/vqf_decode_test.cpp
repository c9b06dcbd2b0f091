// VQF to WAV: the WAV writer's bytes, the header description, and decodeVqfToWav's
// output, its texts and its refusals, none of which may leave a broken file behind.
#include <gtest/gtest.h>

#include <sstream>

#include "decode/vqf_decode.h"
#include "decode/vqf_description.h"
#include "decode/wav_writer.h"
#include "platform/byte_order.h"
#include "sources/vqf_source.h"
#include "sources/wav_source.h"
#include "tags/song_tags.h"
#include "tests/sources/vqf_test_file.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

// "テスト" in CP932.
const std::string kJapanese = "\x83\x65\x83\x58\x83\x67";

std::vector<uint8_t> readAllPcm(AudioSource& source) {
    std::vector<uint8_t> all, buffer(3000);
    uint32_t got = 0;
    while (source.read(buffer, got) && got > 0)
        all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    return all;
}

std::vector<int16_t> tone(uint32_t rate, int channels, int frames) {
    return sine(rate, uint16_t(channels), uint32_t(frames), 330.0, 9000.0);
}

// Names in a folder, for checking that nothing was left behind.
std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WavWriter, InfoListHoldsTheNonEmptyFieldsNulTerminatedAndPadded) {
    const RiffInfoText fields[] = {{"INAM", "Ab"}, {"IART", ""}, {"ICMT", "xyz"}};
    const std::vector<uint8_t> expected = {
        'L', 'I', 'S', 'T', 28, 0, 0, 0, 'I', 'N', 'F', 'O',  //
        'I', 'N', 'A', 'M', 3,  0, 0, 0, 'A', 'b', 0,   0,    // 3 bytes + pad
        'I', 'C', 'M', 'T', 4,  0, 0, 0, 'x', 'y', 'z', 0};   // 4 bytes
    EXPECT_EQ(riffInfoChunk(fields), expected);
    const RiffInfoText empty[] = {{"INAM", ""}};
    EXPECT_TRUE(riffInfoChunk(empty).empty());
}

TEST(WavWriter, WritesAFileTheWavSourceReadsBackWithSizesFixed) {
    TempDir dir;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 8000;
    format.wBitsPerSample = 8;
    format.nBlockAlign = 1;
    format.nAvgBytesPerSec = 8000;
    const std::vector<uint8_t> pcm = {1, 2, 3, 4, 5, 6, 7};  // odd: a pad byte follows
    const RiffInfoText info[] = {{"INAM", "t"}};
    const std::string path = dir.file("w.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(path, format, info));
    ASSERT_TRUE(writer.write(std::span(pcm).first(3)));
    ASSERT_TRUE(writer.write(std::span(pcm).subspan(3)));
    ASSERT_TRUE(writer.finish());

    const std::vector<uint8_t> file = readFile(path);
    EXPECT_EQ(file.size() % 2, 0u);
    EXPECT_EQ(bytes::readLE32(std::span(file).subspan(4, 4)), file.size() - 8);
    WavSource source;
    ASSERT_TRUE(source.open(path.c_str()));
    EXPECT_EQ(source.format()->nSamplesPerSec, 8000u);
    EXPECT_EQ(source.format()->wBitsPerSample, 8);
    EXPECT_EQ(source.length(), 7);
    EXPECT_EQ(readAllPcm(source), pcm);
}

TEST(VqfDescription, ShowsHeaderTextsOtherChunksAndFrames) {
    TempDir dir;
    const fs::path imports = dir.path() / "imports";
    fs::create_directories(imports / "SCND");
    writeFile(imports / "GUID", std::string("0123456789abcdef"));
    writeFile(imports / "SCND" / "NAME", kJapanese);
    const std::string path = dir.file("d.vqf");
    VqfTexts texts;
    texts.name = kJapanese;
    texts.author = "Someone";
    texts.copyright = "(c) 2026";
    texts.importFolder = imports.string();
    const int frames = writeVqf(path, {11, 2, 20}, tone(11025, 2, 5000), texts);
    ASSERT_GT(frames, 0);

    const std::optional<VqfDescription> d = describeVqf(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->versionId, kTvqVersionId);
    EXPECT_TRUE(d->hasComm);
    EXPECT_EQ(d->channelMode, 1);
    EXPECT_EQ(d->bitRate, 20);
    EXPECT_EQ(d->samplingRate, 11);
    EXPECT_EQ(d->securityLevel, 0);
    EXPECT_EQ(vqfText(*d, "NAME"), kJapanese);
    EXPECT_EQ(vqfText(*d, "AUTH"), "Someone");
    EXPECT_EQ(vqfText(*d, "(c) "), "(c) 2026");
    EXPECT_EQ(vqfText(*d, "COMT"), "");
    EXPECT_EQ(d->otherIds, (std::vector<std::string>{"GUID", "SCND"}));
    EXPECT_EQ(d->scndIds, (std::vector<std::string>{"NAME"}));
    EXPECT_EQ(d->frameCount, frames);
    EXPECT_GT(d->frameBits, 0);

    std::ostringstream shown;
    printVqfDescription(*d, shown);
    EXPECT_NE(shown.str().find("\"NAME\": テスト\n"), std::string::npos) << shown.str();
    EXPECT_NE(shown.str().find("frames: " + std::to_string(frames) + "\n"), std::string::npos);
    EXPECT_NE(shown.str().find("bit rate: 20 kbit/s"), std::string::npos);

    // While another VQF source holds the decoder the header is still described.
    VqfSource busy;
    ASSERT_TRUE(busy.open(path.c_str()));
    const std::optional<VqfDescription> partial = describeVqf(path);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->frameBits, 0);
    EXPECT_EQ(vqfText(*partial, "AUTH"), "Someone");

    writeWav(dir.file("a.wav"), 8000, 1, 16, tone(8000, 1, 100));
    EXPECT_FALSE(describeVqf(dir.file("a.wav")));
}

TEST(VqfDecode, WritesTheDecodedPcmWithTheHeaderTextsAsRiffInfo) {
    TempDir dir;
    const std::string input = dir.file("song.vqf");
    VqfTexts texts;
    texts.name = kJapanese;
    texts.author = "Artist";
    texts.comment = "A comment";
    texts.copyright = "(c) Label";
    texts.file = "ignored.wav";
    ASSERT_GT(writeVqf(input, {22, 2, 48}, tone(22050, 2, 20000), texts), 0);
    std::vector<uint8_t> decoded;
    {
        VqfSource source;
        ASSERT_TRUE(source.open(input.c_str()));
        decoded = readAllPcm(source);
    }

    EXPECT_EQ(defaultWavPath(input), dir.file("song.wav"));
    const VqfDecodeResult result = decodeVqfToWav(input, defaultWavPath(input), false);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.pcmBytes, decoded.size());

    WavSource wav;
    ASSERT_TRUE(wav.open(dir.file("song.wav").c_str()));
    EXPECT_EQ(wav.format()->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wav.format()->nChannels, 2);
    EXPECT_EQ(wav.format()->nSamplesPerSec, 22050u);
    EXPECT_EQ(wav.format()->wBitsPerSample, 16);
    EXPECT_EQ(readAllPcm(wav), decoded);
    wav.close();

    auto tags = std::make_unique<SongTags>();
    ASSERT_TRUE(tags->readRiffInfo(dir.file("song.wav")));
    EXPECT_STREQ(tags->title, kJapanese.c_str());
    EXPECT_STREQ(tags->artist, "Artist");
    EXPECT_STREQ(tags->comment, "A comment");
    EXPECT_STREQ(tags->copyright, "(c) Label");
    // Only the finished file is left in the folder.
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"song.vqf", "song.wav"}));
}

TEST(VqfDecode, RefusesWithoutLeavingAnythingBehind) {
    TempDir dir;
    const std::string input = dir.file("in.vqf");
    ASSERT_GT(writeVqf(input, {8, 1, 8}, tone(8000, 1, 3000)), 0);
    const std::vector<uint8_t> vqfBytes = readFile(input);

    // An existing output stays as it was without --force, and is replaced with it.
    const std::string out = dir.file("out.wav");
    writeFile(out, std::string("keep me"));
    VqfDecodeResult r = decodeVqfToWav(input, out, false);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("exists"), std::string::npos) << r.error;
    EXPECT_EQ(readFile(out), bytesOf("keep me"));
    r = decodeVqfToWav(input, out, true);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_GT(readFile(out).size(), 44u);

    // A VQF file named .wav would be its own default output: refused even with --force.
    const std::string disguised = dir.file("x.wav");
    writeFile(disguised, vqfBytes);
    EXPECT_EQ(defaultWavPath(disguised), disguised);
    r = decodeVqfToWav(disguised, defaultWavPath(disguised), true);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(readFile(disguised), vqfBytes);

    // Not VQF, missing, or an output folder that does not exist.
    writeWav(dir.file("plain.wav"), 8000, 1, 16, tone(8000, 1, 100));
    EXPECT_FALSE(decodeVqfToWav(dir.file("plain.wav"), dir.file("p.wav"), false).ok());
    EXPECT_FALSE(decodeVqfToWav(dir.file("missing.vqf"), dir.file("m.wav"), false).ok());
    EXPECT_FALSE(decodeVqfToWav(input, dir.file("no/such/folder/o.wav"), false).ok());
    // A folder in the output's place.
    fs::create_directory(dir.path() / "folder.wav");
    EXPECT_FALSE(decodeVqfToWav(input, dir.file("folder.wav"), true).ok());

    EXPECT_EQ(listing(dir.path()),
              (std::vector<std::string>{"folder.wav", "in.vqf", "out.wav", "plain.wav", "x.wav"}));
}

}  // namespace
}  // namespace tembrel::test
