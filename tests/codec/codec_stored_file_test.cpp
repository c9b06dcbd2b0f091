// Files written by a released build must decode to the same samples in every later build.
// tests/codec/stored/ keeps two small VQF files made by the encoder as the stream format stood
// when it was fixed (44.1 kHz stereo at 96 kbit/s with an attack, a decay into silence and
// mid/side frames; 11 kHz mono at 10 kbit/s with the periodic component and the hole fill),
// beside the hash of the PCM each decodes to. A change that alters decoding changes the hash.
// The inputs were synthesised with sox:
//   sox -n -r 44100 -b 16 -c 2 stored_44k_stereo.wav synth 0.3 pluck 220 pluck 277
//       fade 0 0.3 0.05 pad 0.03 0.07
//   sox -n -r 11025 -b 16 -c 1 stored_11k_mono.wav synth 0.6 pluck 196 fade 0 0.6 0.1
//       pad 0.05 0.25
// and encoded with `tembrel-cli encode --mono-11k 10 --stereo-44k 96`.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sources/vqf_source.h"

namespace tembrel::test {
namespace {

// FNV-1a, 64 bits: small and fully specified.
uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001b3ULL;
    }
    return hash;
}

TEST(CodecStoredFiles, DecodeToTheSamePcmAsWhenTheyWereWritten) {
    struct Stored {
        const char* file;
        uint64_t pcmBytes;
        uint64_t hash;
    };
    for (const Stored& s : {Stored{"stored_44k_stereo.vqf", 73728, 0x817d914a38481d6aULL},
                            Stored{"stored_11k_mono.vqf", 20480, 0xa184c43735bcf032ULL}}) {
        const std::string path = std::string(STORED_VQF_DIR) + "/" + s.file;
        VqfSource source;
        ASSERT_TRUE(source.open(path.c_str())) << path;
        std::vector<uint8_t> pcm, buffer(4096);
        uint32_t got = 0;
        while (source.read(buffer, got) && got > 0) {
            pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + got);
        }
        source.close();
        EXPECT_EQ(pcm.size(), s.pcmBytes) << s.file;
        EXPECT_EQ(fnv1a(pcm), s.hash) << s.file << std::hex << " hash 0x" << fnv1a(pcm);
    }
}

}  // namespace
}  // namespace tembrel::test
