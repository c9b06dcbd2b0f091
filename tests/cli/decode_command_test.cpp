// `tembrel-cli decode` and the VQF lines of `tembrel-cli info`, run as a user runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "codec/tools/test_signals.h"
#include "platform/byte_order.h"
#include "sources/wav_source.h"
#include "tests/sources/vqf_test_file.h"
#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

class DecodeCliTest : public ::testing::Test {
  protected:
    CliRun cli(const std::string& args) {
        const std::string out = logs.file("out.txt");
        const std::string err = logs.file("err.txt");
        const int status = run(std::string("'") + TEMBREL_CLI + "' " + args + " >'" + out +
                               "' 2>'" + err + "' </dev/null");
        const std::vector<uint8_t> o = readFile(out);
        const std::vector<uint8_t> e = readFile(err);
        return {status, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
    }
    std::string vqf(const std::string& name, const VqfTexts& texts = {}) {
        const std::string path = dir.file(name);
        fs::create_directories(fs::path(path).parent_path());
        EXPECT_GT(writeVqf(path, {16, 1, 16}, sine(16000, 1, 12000, 500.0), texts), 0);
        return path;
    }
    static bool isWav(const std::string& path) {
        const std::vector<uint8_t> b = readFile(path);
        return b.size() > 44 && std::string(b.begin(), b.begin() + 4) == "RIFF" &&
               std::string(b.begin() + 8, b.begin() + 12) == "WAVE";
    }

    TempDir dir;
    TempDir logs;
};

TEST_F(DecodeCliTest, DecodesBesideTheInputAndRefusesToReplaceWithoutForce) {
    VqfTexts texts;
    texts.name = "Title";
    const std::string a = vqf("a.vqf", texts);
    CliRun r = cli("decode '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("a.wav")));
    EXPECT_NE(r.out.find("a.wav"), std::string::npos);

    writeFile(dir.file("a.wav"), std::string("older"));
    r = cli("decode '" + a + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.file("a.wav")), bytesOf("older"));
    r = cli("decode --force '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("a.wav")));
}

TEST_F(DecodeCliTest, OutputNameOfNameMaxBytesIsWritten) {
    const std::string stem(251, 'a');  // stem + ".wav" is 255 bytes, the longest name
    const std::string input = vqf(stem + ".vqf");
    const CliRun r = cli("decode '" + input + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file(stem + ".wav")));
}

TEST_F(DecodeCliTest, OutputNamesAFileForOneInputAndAFolderForSeveral) {
    const std::string a = vqf("in/a.vqf");
    const std::string b = vqf("in/b.vqf");
    CliRun r = cli("decode '" + a + "' -o '" + dir.file("single.wav") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("single.wav")));

    fs::create_directory(dir.path() / "out");
    r = cli("decode '" + a + "' '" + b + "' -o '" + dir.file("out") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isWav(dir.file("out/a.wav")));
    EXPECT_TRUE(isWav(dir.file("out/b.wav")));

    // Two inputs of one name into one folder: the second is refused, even with --force.
    const std::string other = vqf("other/a.vqf");
    fs::create_directory(dir.path() / "out2");
    r = cli("decode --force '" + a + "' '" + other + "' -o '" + dir.file("out2") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isWav(dir.file("out2/a.wav")));
    EXPECT_NE(r.err.find(other), std::string::npos) << r.err;

    // Several inputs need an existing folder.
    r = cli("decode '" + a + "' '" + b + "' -o '" + dir.file("nowhere") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));
}

TEST_F(DecodeCliTest, FailsPerFileAndGoesOnWithTheRest) {
    const std::string good = vqf("good.vqf");
    writeFile(dir.file("fake.vqf"), std::string("not audio"));
    writeWav(dir.file("plain.wav"), 8000, 1, 16, sine(8000, 1, 800, 300.0));
    const std::vector<uint8_t> plain = readFile(dir.file("plain.wav"));
    const CliRun r = cli("decode '" + dir.file("fake.vqf") + "' '" + dir.file("plain.wav") + "' '" +
                         dir.file("missing.vqf") + "' '" + good + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fake.vqf: not a VQF file"), std::string::npos) << r.err;
    // plain.wav is its own default output and stays untouched.
    EXPECT_NE(r.err.find("plain.wav: the output would replace the input itself"), std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(dir.file("plain.wav")), plain);
    EXPECT_NE(r.err.find("missing.vqf"), std::string::npos) << r.err;
    EXPECT_TRUE(isWav(dir.file("good.wav")));
    EXPECT_FALSE(fs::exists(dir.file("fake.wav")));
}

// The 16-bit samples of a WAV file, read by the product's WAV source.
std::vector<int16_t> wavSamples(const std::string& path, WAVEFORMATEX& format) {
    WavSource source;
    EXPECT_TRUE(source.open(path.c_str()));
    format = *source.format();
    std::vector<uint8_t> bytes(size_t(source.length()));
    uint32_t got = 0;
    EXPECT_TRUE(source.read(bytes, got));
    std::vector<int16_t> samples(got / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = bytes::readSampleLE16(std::span(bytes).subspan(2 * i, 2));
    return samples;
}

// WAV -> encode -> VQF -> decode -> WAV through the program itself: the decoded file starts
// sample-aligned with the original and ends with less than one frame of padding.
TEST_F(DecodeCliTest, WavThroughEncodeAndDecodeComesBackSampleAligned) {
    const struct {
        uint32_t rate;
        int channels;
    } cases[] = {{44100, 2}, {22050, 1}, {11025, 2}, {8000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " ch");
        const int frames = int(c.rate) + 77;
        const std::vector<float> planar = tvq::signals::music(int(c.rate), c.channels, frames);
        std::vector<int16_t> input(planar.size());
        for (int ch = 0; ch < c.channels; ++ch) {
            for (int i = 0; i < frames; ++i)
                input[size_t(i) * c.channels + ch] =
                    int16_t(std::lrint(planar[size_t(ch) * frames + i]));
        }
        const std::string original = dir.file("orig.wav");
        writeWav(original, c.rate, uint16_t(c.channels), 16, input);
        ASSERT_EQ(cli("encode -q '" + original + "'").status, 0);
        const CliRun r =
            cli("decode '" + dir.file("orig.vqf") + "' -o '" + dir.file("back.wav") + "' --force");
        ASSERT_EQ(r.status, 0) << r.err;

        WAVEFORMATEX format{};
        const std::vector<int16_t> output = wavSamples(dir.file("back.wav"), format);
        EXPECT_EQ(format.nSamplesPerSec, c.rate);
        EXPECT_EQ(format.nChannels, c.channels);
        const int frameSize = c.rate == 44100 ? 1024 : 512;
        ASSERT_GE(output.size(), input.size());
        EXPECT_LT(output.size(), input.size() + size_t(frameSize * c.channels));
        const double atZero = correlation(input, output, c.channels, 0);
        EXPECT_GT(atZero, 0.5);
        for (int lag : {-frameSize, -frameSize / 2, -2, -1, 1, 2, frameSize / 2, frameSize})
            EXPECT_LT(correlation(input, output, c.channels, lag), atZero) << "lag " << lag;
    }
}

TEST_F(DecodeCliTest, InfoShowsTheVqfHeader) {
    VqfTexts texts;
    texts.name = "\x83\x65\x83\x58\x83\x67";  // "テスト" in CP932
    texts.comment = "Line one\nline two";
    const std::string a = vqf("info.vqf", texts);
    const CliRun r = cli("info '" + a + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"  kind: VQF\n", "  version id: TWIN97012000\n", "  channel mode: 0\n",
          "  bit rate: 16 kbit/s\n", "  sampling rate: 16 kHz\n", "  security level: 0\n",
          "  \"NAME\": テスト\n", "  \"COMT\": Line one line two\n", "  frames: "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
}

}  // namespace
}  // namespace tembrel::test
