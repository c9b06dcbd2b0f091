// Streams whose frames all agree decode whole, however much of their audio data looks
// like frame headers: compared with libmpg123's own decoding of the whole file.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/mpeg_frame.h"
#include "sources/mp3_source.h"
#include "test_support.h"

namespace tembrel {
namespace {

using test::TempDir;

// libmpg123 reading the file itself from its first byte, at the stream's own format.
std::vector<int16_t> referenceDecode(const std::string& path) {
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    std::vector<int16_t> out;
    if (h == nullptr)
        return out;
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0);
    if (mpg123_open(h, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buffer(1 << 16);
        for (;;) {
            std::size_t done = 0;
            const int r = mpg123_read(h, buffer.data(), buffer.size(), &done);
            for (std::size_t i = 0; i + 1 < done; i += 2)
                out.push_back(bytes::readSampleLE16(std::span(buffer).subspan(i)));
            if (r != MPG123_OK && r != MPG123_NEW_FORMAT)
                break;
        }
        mpg123_close(h);
    }
    mpg123_delete(h);
    return out;
}

std::vector<int16_t> sourceDecode(const std::string& path) {
    Mp3Source source;
    std::vector<int16_t> out;
    EXPECT_TRUE(source.open(path.c_str()));
    std::vector<uint8_t> buffer(1 << 16);
    for (;;) {
        uint32_t got = 0;
        if (!source.read(buffer, got)) {
            ADD_FAILURE() << "read error";
            break;
        }
        for (uint32_t i = 0; i + 1 < got; i += 2)
            out.push_back(bytes::readSampleLE16(std::span(buffer).subspan(i)));
        if (got == 0)
            break;
    }
    return out;
}

// Writes a header (version bits, layer bits, bit rate index, rate index) at `at`.
void plantHeader(std::vector<uint8_t>& file, std::size_t at, uint8_t byte1, uint8_t byte2) {
    file[at] = 0xFF;
    file[at + 1] = byte1;
    file[at + 2] = byte2;
    file[at + 3] = 0xC0;
}

TEST(Mp3WholeStream, StreamWhoseFramesAllAgreeDecodesWhole) {
    if (!test::haveTool("sox") || !test::haveTool("lame"))
        GTEST_SKIP() << "needs sox and lame";
    TempDir dir;
    // Low-rate MPEG-2.5 and MPEG-2 streams without an information frame, as `lame -t`
    // writes them; a sine without dither gives the same bytes on every run.
    struct Case {
        int rate;
        int kbps;
        int hz;
    };
    const Case cases[] = {{11025, 16, 330}, {8000, 8, 440}, {12000, 16, 250}, {22050, 32, 600}};
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.rate) + "-" + std::to_string(c.kbps);
        const std::string wav = dir.file(name + ".wav");
        ASSERT_EQ(test::run("sox -D -n -r " + std::to_string(c.rate) + " -c 1 -b 16 '" + wav +
                            "' synth 2 sine " + std::to_string(c.hz) + " gain -8"),
                  0);
        ASSERT_EQ(test::run("lame --quiet --noreplaygain -t -b " + std::to_string(c.kbps) + " '" +
                            wav + "' '" + dir.file(name + ".mp3") + "'"),
                  0);
        const std::vector<uint8_t> mp3 = test::readFile(dir.file(name + ".mp3"));
        const auto first = mpeg::parseFrameHeader(mp3);
        ASSERT_TRUE(first) << name;
        ASSERT_GT(first->frameBytes(), 60u);

        // Where the real frame headers stand; nothing is planted over one.
        std::vector<std::size_t> headers;
        for (std::size_t at = 0; at + 4 <= mp3.size();) {
            const auto h = mpeg::parseFrameHeader(std::span(mp3).subspan(at));
            ASSERT_TRUE(h) << name << " at " << at;
            headers.push_back(at);
            at += h->frameBytes();
        }
        const auto plantChain = [&](uint8_t byte1, uint8_t byte2) {
            std::vector<uint8_t> file = mp3;
            plantHeader(file, 8, byte1, byte2);
            const std::size_t second =
                8 + mpeg::parseFrameHeader(std::span(file).subspan(8))->frameBytes();
            for (std::size_t h : headers)
                EXPECT_TRUE(second + 4 <= h || second >= h + 4)
                    << name << ": planted over a header";
            plantHeader(file, second, byte1, byte2);
            return file;
        };
        // The stream as encoded, and with patterns in the audio data of its first frame
        // that look like two headers a frame apart: MPEG-1 Layer I at 32 kHz, and Layer I
        // at the stream's own version and rate.
        const uint8_t versionBits = mp3[1] & 0x18;
        const uint8_t rateBits = mp3[2] & 0x0C;
        const std::vector<std::vector<uint8_t>> variants{
            mp3, plantChain(0xFF, 0x18),
            plantChain(uint8_t(0xE7 | versionBits), uint8_t(0x10 | rateBits))};

        for (std::size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE(name + " variant " + std::to_string(v));
            const std::string path = dir.file(name + "-" + std::to_string(v) + ".mp3");
            test::writeFile(path, variants[v]);
            const std::vector<int16_t> reference = referenceDecode(path);
            const std::vector<int16_t> decoded = sourceDecode(path);
            // The source is handed the stream from inside the first frame and starts with
            // the second: every frame after that must be there. Its first frames lack the
            // first frame's bit reservoir and overlap; from the fourth on they are the
            // reference's to within rounding.
            const std::size_t spf = first->samplesPerFrame();
            ASSERT_GT(reference.size(), 4 * spf);
            ASSERT_EQ(decoded.size(), reference.size() - spf);
            double signal = 0, noise = 0;
            for (std::size_t i = 3 * spf; i < decoded.size(); ++i) {
                const double r = reference[i + spf], d = decoded[i] - r;
                signal += r * r;
                noise += d * d;
            }
            EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 90.0);
        }
    }
}

}  // namespace
}  // namespace tembrel
