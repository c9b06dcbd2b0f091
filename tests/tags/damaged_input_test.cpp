// Randomly damaged copies of tagged files: the readers must stay inside the file and
// leave a consistent record (run under AddressSanitizer to see stray reads).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tag_bytes.h"
#include "tags/song_tags.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

std::vector<Bytes> seedFiles() {
    const Bytes audio(200, 0xAA);
    const Bytes utf16 = {0xFF, 0xFE, 0xE5, 0x65, 0x2C, 0x67, 0, 0};
    Bytes v23 = id3v2Tag(3, 0x40 | 0x80,
                         cat({{0, 0, 0, 6, 0, 0, 0, 0, 0, 0},
                              frame(3, "TIT2", cat({{1}, utf16})),
                              frame(3, "COMM", cat({{1}, str("eng"), {0xFF, 0xFE, 0, 0}, utf16})),
                              frame(3, "TALB", cat({{0x42}, {0}, str("Album")}), 0x20),
                              textFrame(3, "TRCK", "1/2"),
                              zeros(16)}));
    Bytes v24 = id3v2Tag(4, 0x10,
                         cat({frame(4, "TIT2", cat({{0, 0, 0, 4}, {3}, str("abc")}), 0x01),
                              frame(4, "WXXX", cat({{0}, str("d"), {0}, str("http://x/")})),
                              frame(4, "TDRC", cat({{2}, {0, '2', 0, '0'}}), 0x02)}));
    Bytes footer(v24.begin(), v24.begin() + 10);
    Bytes v22 = id3v2Tag(
        2, 0, cat({textFrame(2, "TT2", "t"), frame(2, "COM", {0, 'e', 'n', 'g', 0, 'c'})}));
    Bytes list =
        chunk("LIST", cat({str("INFO"), chunk("INAM", str("Name")), chunk("ICRD", str("2000")),
                           chunk("IID3", id3v1Block("t", "a", "b", "1", "c", 3, 4))}));
    Bytes wave = riff("WAVE", cat({fmtChunk(), chunk("data", Bytes(33, 1)), list}));
    return {cat({v23, audio, id3v1Block("t", "a", "b", "1999", "c", 1, 2)}),
            cat({v24, footer, audio}), cat({v22, audio}), wave,
            riff("RMP3", cat({list, chunk("data", audio)}))};
}

void expectConsistent(const SongTags& tags, std::size_t fileSize) {
    for (const char* text :
         {tags.title, tags.artist, tags.album, tags.comment, tags.copyright, tags.fileName,
          tags.genre, tags.software, tags.url, tags.sourceArtist, tags.composer}) {
        ASSERT_LT(strnlen(text, 256), 256u);
    }
    ASSERT_LT(strnlen(tags.year, 32), 32u);
    ASSERT_GE(tags.dataOffset, 0);
    ASSERT_GE(tags.dataLength, 0);
    ASSERT_LE(uint64_t(tags.dataOffset), fileSize);
}

TEST(DamagedInput, MutatedAndTruncatedFilesReadSafely) {
    TempDir dir;
    const std::string path = dir.file("damaged");
    std::mt19937 random(20261208);
    int index = 0;
    for (const Bytes& seed : seedFiles()) {
        for (int round = 0; round < 150; ++round) {
            Bytes bytes = seed;
            const int changes = 1 + int(random() % 4);
            for (int c = 0; c < changes; ++c) {
                std::size_t at = random() % bytes.size();
                // Sizes and flags decide where the readers go: favour extreme values.
                const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80, uint8_t(random())};
                bytes[at] = values[random() % 5];
            }
            if (round % 5 == 0)
                bytes.resize(random() % (bytes.size() + 1));
            writeFile(path, bytes);
            SongTags tags;
            tags.read(path);
            expectConsistent(tags, bytes.size());
            if (HasFatalFailure()) {
                ADD_FAILURE() << "seed " << index << " round " << round;
                return;
            }
        }
        ++index;
    }
}

}  // namespace
}  // namespace tembrel::test
