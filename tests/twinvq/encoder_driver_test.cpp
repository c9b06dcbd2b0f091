// Real conversions: WAV files of every supported rate, channel count and sample width
// become VQF files whose header and frame count are checked against the source.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "platform/byte_order.h"
#include "platform/text_encoding.h"
#include "test_support.h"
#include "tvq/tvqdec.h"
#include "twinvq/encoder_driver.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;
using Bytes = std::vector<uint8_t>;

// The parts of a written VQF file the tests look at.
struct VqfFile {
    std::string id;
    std::size_t streamStart = 0;  // first byte after "DATA"
    std::vector<std::pair<std::string, std::string>> chunks;
    std::string chunk(const std::string& id) const {
        for (const auto& [i, d] : chunks) {
            if (i == id)
                return d;
        }
        return "<absent>";
    }
    bool has(const std::string& id) const { return chunk(id) != "<absent>"; }
    int32_t comm(int index) const {
        const std::string d = chunk("COMM");
        return int32_t(
            bytes::readBE32(std::span(reinterpret_cast<const uint8_t*>(d.data()) + 4 * index, 4)));
    }
};

VqfFile parseVqf(const Bytes& file) {
    VqfFile out;
    if (file.size() < 20)
        return out;
    out.id.assign(file.begin(), file.begin() + 12);
    const uint32_t body = bytes::readBE32(std::span(file).subspan(12, 4));
    std::size_t at = 16;
    while (at + 8 <= 16 + body && at + 8 <= file.size()) {
        const std::string id(file.begin() + at, file.begin() + at + 4);
        const uint32_t size = bytes::readBE32(std::span(file).subspan(at + 4, 4));
        if (at + 8 + size > file.size())
            break;
        out.chunks.emplace_back(id,
                                std::string(file.begin() + at + 8, file.begin() + at + 8 + size));
        at += 8 + size;
    }
    if (16 + body + 4 <= file.size() &&
        std::string(file.begin() + 16 + body, file.begin() + 20 + body) == "DATA") {
        out.streamStart = 20 + body;
    }
    return out;
}

// Frame length in bits and samples per channel of a stream configuration, as the
// decoder library reports them.
struct StreamShape {
    int frameBits = 0;
    int frameSize = 0;
};

StreamShape shapeOf(int32_t channelMode, int32_t bitRate, int32_t kHz) {
    HeaderInfo info{};
    std::memcpy(info.id, kTvqVersionId, sizeof kTvqVersionId);
    info.channelMode = channelMode;
    info.bitRate = bitRate;
    info.samplingRate = kHz;
    FrameIndex index{};
    if (TvqInitialize(&info, &index, 0) != 0)
        return {};
    StreamShape shape{TvqGetNumFixedBitsPerFrame(), TvqGetFrameSize()};
    TvqTerminate(&index);
    return shape;
}

// A RIFF WAVE file with "LIST" "INFO" sub-chunks after its data.
Bytes wavWithInfo(uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples,
                  const std::vector<std::pair<std::string, Bytes>>& info, const fs::path& scratch) {
    test::writeWav(scratch, rate, channels, 16, samples);
    Bytes wav = readFile(scratch);
    Bytes list = {'I', 'N', 'F', 'O'};
    for (const auto& [id, text] : info) {
        list.insert(list.end(), id.begin(), id.end());
        Bytes value = text;
        value.push_back(0);
        if (value.size() % 2)
            value.push_back(0);
        bytes::appendLE(list, uint32_t(value.size()), 4);
        list.insert(list.end(), value.begin(), value.end());
    }
    wav.insert(wav.end(), {'L', 'I', 'S', 'T'});
    bytes::appendLE(wav, uint32_t(list.size()), 4);
    wav.insert(wav.end(), list.begin(), list.end());
    bytes::storeLE(std::span(wav).subspan(4, 4), uint32_t(wav.size() - 8), 4);
    return wav;
}

// A PCM WAV file of any sample width, silent.
Bytes wavOfWidth(uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames) {
    const uint32_t align = channels * (bits / 8);
    Bytes out = {'R', 'I', 'F', 'F'};
    bytes::appendLE(out, 36 + frames * align, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    bytes::appendLE(out, 16, 4);
    bytes::appendLE(out, 1, 2);
    bytes::appendLE(out, channels, 2);
    bytes::appendLE(out, rate, 4);
    bytes::appendLE(out, rate * align, 4);
    bytes::appendLE(out, align, 2);
    bytes::appendLE(out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    bytes::appendLE(out, frames * align, 4);
    out.resize(out.size() + frames * align, 0);
    return out;
}

class EncoderDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        convertSettings().resetToDefaults();
        jobProgress().resetCounters();
        jobProgress().resetForEncoding();
        driver.copyBitRates(ConvertSettings{}.bitRates);
        driver.setNameFromFileName(false);
        driver.setConvertOtherFormats(false);
        driver.setFrameObserver({});
    }
    void TearDown() override {
        jobProgress().cancelRequested = false;
        encoderDriver().setFrameObserver({});
        convertSettings().resetToDefaults();
    }
    std::string path(const std::string& name) const { return dir.file(name); }

    // Encodes a file and checks everything the header and the frame count must say.
    void expectConverted(const std::string& source, uint32_t rate, uint16_t channels, uint16_t bits,
                         int32_t expectedBitRate) {
        SCOPED_TRACE(source);
        const std::string output = vqfPathFor(source);
        EXPECT_EQ(driver.encodeFile(source, output), 0);
        EXPECT_EQ(driver.failureReason(), "");
        EXPECT_EQ(driver.warning(), "");
        ASSERT_TRUE(driver.takeOutput().commit());
        const Bytes file = readFile(output);
        const VqfFile vqf = parseVqf(file);
        EXPECT_EQ(vqf.id, "TWIN97012000");
        ASSERT_NE(vqf.streamStart, 0u);
        EXPECT_EQ(vqf.comm(0), channels - 1);
        EXPECT_EQ(vqf.comm(1), expectedBitRate);
        EXPECT_EQ(vqf.comm(2), int32_t(rate / 1000));
        EXPECT_EQ(vqf.comm(3), 0);

        const StreamShape shape = shapeOf(channels - 1, expectedBitRate, rate / 1000);
        ASSERT_GT(shape.frameBits, 0);
        const int64_t sourceBytes = int64_t(fs::file_size(source)) - 44;
        const int64_t perFrame = int64_t(channels) * shape.frameSize * bits / 16;
        const int64_t full = (sourceBytes / 2) / perFrame;
        EXPECT_EQ(jobProgress().framesTotal, full + 2);
        EXPECT_EQ(jobProgress().framesDone, full + 3);
        EXPECT_EQ(int64_t(file.size()),
                  int64_t(vqf.streamStart) + ((full + 3) * shape.frameBits + 7) / 8);
    }

    TempDir dir;
    EncoderDriver& driver = encoderDriver();
};

TEST_F(EncoderDriverTest, EveryRateChannelCountAndWidthConverts) {
    for (uint32_t rate : {8000u, 11025u, 16000u, 22050u, 44100u}) {
        for (uint16_t channels : {1, 2}) {
            for (uint16_t bits : {8, 16}) {
                const std::string name = "s" + std::to_string(rate) + "_" +
                                         std::to_string(channels) + "_" + std::to_string(bits);
                const std::string source = path(name + ".wav");
                // One second and a bit, so that the last frame is a partial one.
                test::writeWav(source, rate, channels, bits,
                               test::sine(rate, channels, rate + 123, 440.0));
                expectConverted(source, rate, channels, bits,
                                driver.lookupBitRate(int32_t(rate / 1000), channels - 1));
                EXPECT_EQ(parseVqf(readFile(vqfPathFor(source))).chunk("NAME"), name);
            }
        }
    }
}

TEST_F(EncoderDriverTest, ChosenBitRatesReachTheHeader) {
    const int32_t rates[6] = {8, 24, 40, 16, 48, 80};
    driver.copyBitRates(rates);
    const std::string mono = path("mono22.wav");
    test::writeWav(mono, 22050, 1, 16, test::sine(22050, 1, 22050, 300.0));
    expectConverted(mono, 22050, 1, 16, 24);
    const std::string stereo = path("stereo44.wav");
    test::writeWav(stereo, 44100, 2, 16, test::sine(44100, 2, 44100, 300.0));
    expectConverted(stereo, 44100, 2, 16, 80);
}

TEST_F(EncoderDriverTest, EmptySourceGivesThreeSilentFrames) {
    const std::string source = path("empty.wav");
    test::writeWav(source, 22050, 2, 16, {});
    expectConverted(source, 22050, 2, 16, 64);
    EXPECT_EQ(jobProgress().framesTotal, 2);
}

TEST_F(EncoderDriverTest, TagTextsGoIntoTheHeaderAndDoNotLeakIntoTheNextFile) {
    // "曲" in CP932, to show that texts are copied as bytes.
    const Bytes title = {'S', 'o', 'n', 'g', ' ', 0x8B, 0xC8};
    Bytes wav = wavWithInfo(11025, 1, test::sine(11025, 1, 11025, 500.0),
                            {{"INAM", title},
                             {"IART", test::bytesOf("Artist")},
                             {"ICMT", test::bytesOf("Comment")},
                             {"ICOP", test::bytesOf("(C) Someone")},
                             {"ICRD", test::bytesOf("1999")}},
                            path("scratch.wav"));
    // An ID3v1.1 block at the end carries the track number.
    Bytes id3(128, 0);
    std::memcpy(id3.data(), "TAG", 3);
    id3[126] = 5;
    id3[127] = 255;
    wav.insert(wav.end(), id3.begin(), id3.end());
    writeFile(path("tagged.wav"), wav);
    expectConverted(path("tagged.wav"), 11025, 1, 16, 10);
    const VqfFile tagged = parseVqf(readFile(path("tagged.vqf")));
    EXPECT_EQ(tagged.chunk("NAME"), std::string(title.begin(), title.end()));
    EXPECT_EQ(tagged.chunk("AUTH"), "Artist");
    EXPECT_EQ(tagged.chunk("COMT"), "Comment");
    EXPECT_EQ(tagged.chunk("(c) "), "(C) Someone");
    EXPECT_EQ(tagged.chunk("YEAR"), "1999");
    EXPECT_EQ(tagged.chunk("TRAC"), "5");

    test::writeWav(path("my.plain song.wav"), 11025, 1, 16, test::sine(11025, 1, 5000, 500.0));
    expectConverted(path("my.plain song.wav"), 11025, 1, 16, 10);
    const VqfFile plain = parseVqf(readFile(path("my.plain song.vqf")));
    EXPECT_EQ(plain.chunk("NAME"), "my.plain song");
    EXPECT_FALSE(plain.has("TRAC"));
    EXPECT_FALSE(plain.has("AUTH"));
    EXPECT_FALSE(plain.has("YEAR"));

    // A UTF-8 file name becomes a CP932 song name.
    test::writeWav(path("曲名.wav"), 11025, 1, 16, test::sine(11025, 1, 5000, 500.0));
    expectConverted(path("曲名.wav"), 11025, 1, 16, 10);
    EXPECT_EQ(parseVqf(readFile(path("曲名.vqf"))).chunk("NAME"), "\x8b\xc8\x96\xbc");

    driver.setNameFromFileName(true);
    expectConverted(path("tagged.wav"), 11025, 1, 16, 10);
    EXPECT_EQ(parseVqf(readFile(path("tagged.vqf"))).chunk("NAME"), "tagged");
}

TEST_F(EncoderDriverTest, UnsupportedWidthFailsBeforeTheOutputIsTouched) {
    writeFile(path("deep.wav"), wavOfWidth(44100, 2, 24, 4410));
    writeFile(path("deep.vqf"), "older");
    EXPECT_EQ(driver.encodeFile(path("deep.wav"), path("deep.vqf")), 0);
    EXPECT_NE(driver.failureReason().find("24-bit"), std::string::npos);
    EXPECT_FALSE(driver.takeOutput().ok());
    EXPECT_EQ(readFile(path("deep.vqf")), test::bytesOf("older"));

    // A FIFO would block the reader forever; a folder is no file.
    ASSERT_EQ(mkfifo(path("pipe.wav").c_str(), 0600), 0);
    EXPECT_EQ(driver.encodeFile(path("pipe.wav"), path("pipe.vqf")), 0);
    EXPECT_EQ(driver.failureReason(), "not a regular file");
    fs::create_directory(path("folder.wav"));
    EXPECT_EQ(driver.encodeFile(path("folder.wav"), path("folder.vqf")), 0);
    EXPECT_EQ(driver.failureReason(), "not a regular file");
    EXPECT_FALSE(fs::exists(path("pipe.vqf")));

    writeFile(path("junk.wav"), "not audio at all");
    EXPECT_EQ(driver.encodeFile(path("junk.wav"), path("junk.vqf")), 0);
    EXPECT_NE(driver.failureReason(), "");
    EXPECT_FALSE(fs::exists(path("junk.vqf")));
}

TEST_F(EncoderDriverTest, RateWithoutBitRateFailsNamingTheSwitchAndNeverTouchesTheOutput) {
    test::writeWav(path("hz48.wav"), 48000, 2, 16, test::sine(48000, 2, 4800, 440.0));
    writeFile(path("hz48.vqf"), "older");
    EXPECT_EQ(driver.encodeFile(path("hz48.wav"), path("hz48.vqf")), 0);
    EXPECT_EQ(driver.failureReason(),
              "48000 Hz: only 8, 11.025, 16, 22.05 and 44.1 kHz convert; "
              "--convert-other-formats resamples it to 44100 Hz");
    EXPECT_FALSE(driver.takeOutput().ok());
    EXPECT_EQ(readFile(path("hz48.vqf")), test::bytesOf("older"));
}

TEST_F(EncoderDriverTest, UncreatableOutputFails) {
    test::writeWav(path("a.wav"), 8000, 1, 16, test::sine(8000, 1, 800, 440.0));
    EXPECT_EQ(driver.encodeFile(path("a.wav"), path("no/such/folder/a.vqf")), 0);
    EXPECT_NE(driver.failureReason().find("cannot create"), std::string::npos);
}

TEST_F(EncoderDriverTest, CancelStopsAfterTheFrameInHandAndKeepsWhatWasWritten) {
    test::writeWav(path("long.wav"), 22050, 1, 16, test::sine(22050, 1, 44100, 440.0));
    driver.setFrameObserver([](int32_t done) {
        if (done == 2)
            jobProgress().cancelRequested = true;
    });
    EXPECT_EQ(driver.encodeFile(path("long.wav"), path("long.vqf")), 1);
    EXPECT_EQ(driver.failureReason(), "");
    EXPECT_EQ(jobProgress().framesDone, 2);
    EXPECT_FALSE(fs::exists(path("long.vqf")));
    ASSERT_TRUE(driver.takeOutput().commit());
    const Bytes file = readFile(path("long.vqf"));
    const StreamShape shape = shapeOf(0, 32, 22);
    EXPECT_EQ(int64_t(file.size()),
              int64_t(parseVqf(file).streamStart) + (2 * shape.frameBits + 7) / 8);
}

TEST_F(EncoderDriverTest, Mp3SourceWithId3v2TagConverts) {
    ASSERT_TRUE(test::haveTool("lame"));
    test::writeWav(path("src.wav"), 22050, 1, 16, test::sine(22050, 1, 33075, 440.0));
    ASSERT_EQ(test::run("lame --quiet --id3v2-only --tt 'Mp3 title' --ta Singer --tn 7 " +
                        path("src.wav") + " " + path("song.mp3")),
              0);
    EXPECT_EQ(driver.encodeFile(path("song.mp3"), path("song.vqf")), 0);
    EXPECT_EQ(driver.failureReason(), "");
    ASSERT_TRUE(driver.takeOutput().commit());
    const VqfFile vqf = parseVqf(readFile(path("song.vqf")));
    EXPECT_EQ(vqf.comm(0), 0);
    EXPECT_EQ(vqf.comm(1), 32);
    EXPECT_EQ(vqf.comm(2), 22);
    EXPECT_EQ(vqf.chunk("NAME"), "Mp3 title");
    EXPECT_EQ(vqf.chunk("AUTH"), "Singer");
    EXPECT_EQ(vqf.chunk("TRAC"), "7");
    // The decoded audio is at least as long as what went into the MP3.
    EXPECT_GE(jobProgress().framesTotal, 33075 / shapeOf(0, 32, 22).frameSize + 2);
}

TEST_F(EncoderDriverTest, VqfContentIsDecodedAndEncodedAgain) {
    test::writeWav(path("first.wav"), 11025, 2, 16, test::sine(11025, 2, 11025, 440.0));
    expectConverted(path("first.wav"), 11025, 2, 16, 20);
    // A VQF stream under another name: the selector goes by content.
    fs::copy_file(path("first.vqf"), path("again.wav"));
    EXPECT_EQ(driver.encodeFile(path("again.wav"), path("again.vqf")), 0);
    EXPECT_EQ(driver.failureReason(), "");
    ASSERT_TRUE(driver.takeOutput().commit());
    const VqfFile vqf = parseVqf(readFile(path("again.vqf")));
    EXPECT_EQ(vqf.comm(0), 1);
    EXPECT_EQ(vqf.comm(1), 20);
    EXPECT_EQ(vqf.comm(2), 11);
    EXPECT_GT(jobProgress().framesTotal, 2);
}

// A folder job with the real encoder: good files convert, bad ones are counted and
// leave nothing behind, and a "header_info" folder serves only the files beside it.
TEST_F(EncoderDriverTest, FolderJobCountsFailuresAndImportsBesideEachSource) {
    const std::string root = fs::canonical(dir.path()).string();
    fs::create_directories(root + "/album/header_info");
    writeFile(root + "/album/header_info/TRAC", "12");
    test::writeWav(root + "/album/in.wav", 8000, 1, 16, test::sine(8000, 1, 4000, 440.0));
    test::writeWav(root + "/good.wav", 8000, 1, 8, test::sine(8000, 1, 4000, 440.0));
    writeFile(root + "/deep.wav", wavOfWidth(8000, 1, 24, 800));
    test::writeWav(root + "/hz48.wav", 48000, 1, 16, test::sine(48000, 1, 4800, 440.0));
    convertSettings().deleteSource = true;

    const fs::path before = fs::current_path();
    ConvertJob job;
    job.encoder = &encoderDriver();
    job.folderPath = root;
    job.resolvePath(root);
    job.run();
    EXPECT_EQ(fs::current_path(), before);

    EXPECT_EQ(jobProgress().successCount, 2);
    EXPECT_EQ(jobProgress().failureCount, 2);
    EXPECT_TRUE(fs::exists(root + "/good.vqf"));
    EXPECT_FALSE(fs::exists(root + "/good.wav"));
    EXPECT_FALSE(fs::exists(root + "/deep.vqf"));
    EXPECT_FALSE(fs::exists(root + "/hz48.vqf"));
    EXPECT_TRUE(fs::exists(root + "/deep.wav"));
    EXPECT_TRUE(fs::exists(root + "/hz48.wav"));
    ASSERT_EQ(job.failures().size(), 2u);
    EXPECT_EQ(job.failures()[0].inputPath, root + "/deep.wav");
    EXPECT_EQ(job.failures()[1].inputPath, root + "/hz48.wav");

    EXPECT_FALSE(parseVqf(readFile(root + "/good.vqf")).has("TRAC"));
    EXPECT_EQ(parseVqf(readFile(root + "/album/in.vqf")).chunk("TRAC"), std::string("\x00\x0c", 2));
}

// A 16-bit PCM WAV file whose "fmt " chunk is WAVE_FORMAT_EXTENSIBLE with the PCM sub-format.
Bytes extensibleWav(uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples,
                    const fs::path& scratch) {
    test::writeWav(scratch, rate, channels, 16, samples);
    const Bytes plain = readFile(scratch);
    Bytes out(plain.begin(), plain.begin() + 20);  // "RIFF", size, "WAVE", "fmt ", size
    bytes::storeLE(std::span(out).subspan(16, 4), 40, 4);
    out.insert(out.end(), plain.begin() + 20, plain.begin() + 36);
    bytes::storeLE(std::span(out).subspan(20, 2), 0xFFFE, 2);
    for (uint32_t v : {22u, 16u, 3u})  // cbSize, valid bits, front left and right
        bytes::appendLE(out, v, v == 3 ? 4 : 2);
    const uint8_t pcmGuid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    out.insert(out.end(), std::begin(pcmGuid), std::end(pcmGuid));
    out.insert(out.end(), plain.begin() + 36, plain.end());
    bytes::storeLE(std::span(out).subspan(4, 4), uint32_t(out.size() - 8), 4);
    return out;
}

// Sources of today's layouts, made by the tools people use. Each fails with the switch
// off when it needs it, naming the switch and leaving an older output alone, and with
// the switch on converts at the rate encoded, with its tags' title.
TEST_F(EncoderDriverTest, OtherLayoutsRatesAndContainersConvertWithTheSwitch) {
    for (const char* tool : {"sox", "flac", "metaflac", "oggenc", "vorbiscomment", "opusenc"})
        ASSERT_TRUE(test::haveTool(tool)) << tool;
    struct Row {
        const char* file;
        const char* make;  // shell command writing $OUT from nothing or from $SRC (44.1 kHz stereo)
        uint32_t sourceRate;
        uint32_t sourceFrames;
        bool needsSwitch;
        uint16_t channels;
        uint32_t encodedRate;
        const char* title;  // UTF-8; the file's name when empty
    };
    const Row rows[] = {
        {"w24.wav", "sox -n -r 44100 -c 2 -b 24 $OUT synth 0.5 sine 440", 44100, 22050, true, 2,
         44100, ""},
        {"wf32.wav", "sox -n -r 22050 -c 1 -e floating-point -b 32 $OUT synth 0.5 sine 440", 22050,
         11025, true, 1, 22050, ""},
        {"wf64.wav", "sox -n -r 48000 -c 2 -e floating-point -b 64 $OUT synth 0.5 sine 440", 48000,
         24000, true, 2, 44100, ""},
        {"w32k.wav", "sox -n -r 32000 -c 1 -b 16 $OUT synth 0.5 sine 440", 32000, 16000, true, 1,
         22050, ""},
        {"w12k.wav", "sox -n -r 12000 -c 2 -b 8 $OUT synth 0.5 sine 440", 12000, 6000, true, 2,
         11025, ""},
        {"s16.flac", "flac -s -o $OUT $SRC && metaflac --set-tag='TITLE=雨の歌 ①' $OUT", 44100,
         22050, false, 2, 44100, "雨の歌 ①"},
        {"m24.flac",
         "sox -n -r 96000 -c 1 -b 24 $OUT.wav synth 0.5 sine 440 && flac -s -o $OUT $OUT.wav && "
         "metaflac --set-tag=TITLE=Deep $OUT",
         96000, 48000, true, 1, 44100, "Deep"},
        {"v.ogg", "oggenc -Q -o $OUT $SRC && vorbiscomment -w -t 'TITLE=風' $OUT", 44100, 22050,
         false, 2, 44100, "風"},
        {"v48.ogg",
         "sox -n -r 48000 -c 1 -b 16 $OUT.wav synth 0.5 sine 440 && oggenc -Q -o $OUT $OUT.wav",
         48000, 24000, true, 1, 44100, ""},
        {"o.opus", "opusenc --quiet --title 'オーパス' $SRC $OUT", 48000, 24000, true, 2, 44100,
         "オーパス"},
    };
    test::writeWav(path("src.wav"), 44100, 2, 16, test::sine(44100, 2, 22050, 440.0));
    writeFile(path("ext.wav"),
              extensibleWav(22050, 2, test::sine(22050, 2, 11025, 440.0), path("scratch.wav")));
    std::vector<Row> all(std::begin(rows), std::end(rows));
    all.push_back({"ext.wav", nullptr, 22050, 11025, false, 2, 22050, ""});
    for (const Row& row : all) {
        SCOPED_TRACE(row.file);
        const std::string source = path(row.file);
        const std::string output = vqfPathFor(source);
        if (row.make != nullptr) {
            ASSERT_EQ(test::run("OUT='" + source + "' SRC='" + path("src.wav") + "'; " + row.make +
                                " 2>/dev/null"),
                      0);
        }
        writeFile(output, "older");
        driver.setConvertOtherFormats(false);
        if (row.needsSwitch) {
            EXPECT_EQ(driver.encodeFile(source, output), 0);
            EXPECT_NE(driver.failureReason().find("; --convert-other-formats "), std::string::npos)
                << driver.failureReason();
            EXPECT_EQ(readFile(output), test::bytesOf("older"));
        }
        driver.setConvertOtherFormats(row.needsSwitch);
        EXPECT_EQ(driver.encodeFile(source, output), 0);
        EXPECT_EQ(driver.failureReason(), "");
        EXPECT_EQ(driver.warning(), "");
        ASSERT_TRUE(driver.takeOutput().commit());
        const VqfFile vqf = parseVqf(readFile(output));
        const int32_t kHz = int32_t(row.encodedRate / 1000);
        EXPECT_EQ(vqf.comm(0), row.channels - 1);
        EXPECT_EQ(vqf.comm(1), driver.lookupBitRate(kHz, row.channels - 1));
        EXPECT_EQ(vqf.comm(2), kHz);
        EXPECT_EQ(vqf.chunk("NAME"),
                  *row.title ? text::utf8ToCp932(row.title) : fs::path(row.file).stem().string());
        // The length at the rate encoded, rounded: every frame of it and no more.
        const uint64_t frames =
            (uint64_t(row.sourceFrames) * row.encodedRate + row.sourceRate / 2) / row.sourceRate;
        const StreamShape shape = shapeOf(row.channels - 1, vqf.comm(1), kHz);
        EXPECT_EQ(jobProgress().framesTotal, int32_t(frames / uint64_t(shape.frameSize) + 2));
    }
}

TEST_F(EncoderDriverTest, MoreThanTwoChannelsOrNoAudioFailsNamingTheFileAndLeavesNothing) {
    ASSERT_TRUE(test::haveTool("flac"));
    driver.setConvertOtherFormats(true);
    ASSERT_EQ(
        test::run("sox -n -r 44100 -c 6 -b 16 " + path("six.wav") +
                  " synth 0.2 sine 440 && flac -s -o " + path("six.flac") + " " + path("six.wav") +
                  " && flac -s --force-raw-format --endian=little --sign=signed --channels=1 "
                  "--bps=16 --sample-rate=44100 -o " +
                  path("none.flac") + " - </dev/null 2>/dev/null"),
        0);
    for (const auto& [file, reason] :
         {std::pair{"six.wav", "6 channels: only mono and stereo convert"},
          {"six.flac", "6 channels: only mono and stereo convert"},
          {"none.flac", "holds no audio frames"}}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(driver.encodeFile(path(file), vqfPathFor(path(file))), 0);
        EXPECT_EQ(driver.failureReason(), reason);
        EXPECT_FALSE(driver.takeOutput().ok());
        EXPECT_FALSE(fs::exists(vqfPathFor(path(file))));
    }
}

}  // namespace
}  // namespace tembrel
