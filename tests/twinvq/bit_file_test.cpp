#include "twinvq/bit_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/byte_order.h"
#include "test_support.h"

namespace tembrel {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::vector<uint8_t> writeFields(const std::string& path,
                                 const std::vector<std::pair<int32_t, int>>& fields) {
    BitFile* file = BitFile::open(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    for (auto [value, n] : fields)
        BitFile::putBits(value, n, file);
    EXPECT_EQ(BitFile::close(file), 0);
    return readFile(path);
}

// A file whose byte i is a value that differs from its neighbours, so a read at the
// wrong place shows.
std::vector<uint8_t> patternBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = uint8_t(i * 37 + i / 256 + 11);
    return bytes;
}

// The value `n` bits starting at absolute bit `pos` should read as, and how many bits
// a read can deliver there.
std::pair<int32_t, int> expectedRead(const std::vector<uint8_t>& bytes, int64_t pos, int n) {
    uint32_t value = 0;
    int count = 0;
    for (int i = n - 1; i >= 0; --i, ++pos) {
        if (pos >= int64_t(bytes.size()) * 8)
            break;
        value |= uint32_t((bytes[size_t(pos / 8)] >> (7 - pos % 8)) & 1) << i;
        ++count;
    }
    return {int32_t(value), count};
}

TEST(BitFile, PacksFieldsMostSignificantBitFirstAndPadsTheLastByte) {
    TempDir dir;
    EXPECT_EQ(writeFields(dir.file("a"), {{5, 3}, {1, 1}, {255, 8}}),
              (std::vector<uint8_t>{0xBF, 0xF0}));
    // 8 does not fit 3 bits (000 written), -1 in 4 bits counts as fitting (1111).
    EXPECT_EQ(writeFields(dir.file("b"), {{8, 3}, {-1, 4}, {1, 1}}), (std::vector<uint8_t>{0x1F}));
    EXPECT_EQ(writeFields(dir.file("c"), {{0x12345678, 32}, {7, 0}}),
              (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}));
}

TEST(BitFile, PutBitsReportsValuesThatDoNotFit) {
    TempDir dir;
    BitFile* file = BitFile::open(dir.file("f").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(BitFile::putBits(8, 3, file), 1);
    EXPECT_EQ(BitFile::putBits(7, 3, file), 0);
    EXPECT_EQ(BitFile::putBits(-1, 4, file), 0);
    EXPECT_EQ(BitFile::putBits(-1, 32, file), 0);
    EXPECT_EQ(BitFile::putBits(0x7FFFFFFF, 32, file), 0);
    EXPECT_EQ(BitFile::putBits(0, 0, file), 0);
    EXPECT_EQ(BitFile::putBits(1, 0, file), 1);
    EXPECT_EQ(BitFile::putBits(1, 33, file), 1);
    EXPECT_EQ(BitFile::close(file), 0);
    EXPECT_EQ(readFile(dir.file("f")).size(), 10u);  // 3 + 3 + 4 + 32 + 32 bits
}

TEST(BitFile, WritesWholeBlocksDuringTheRunAndThePartialBlockAtClose) {
    TempDir dir;
    BitFile* file = BitFile::open(dir.file("f").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 8200; ++i)
        BitFile::putBits(1, 1, file);
    EXPECT_EQ(BitFile::tell(file), 8200);
    EXPECT_EQ(BitFile::close(file), 0);
    auto bytes = readFile(dir.file("f"));
    ASSERT_EQ(bytes.size(), 1025u);
    EXPECT_EQ(bytes[1023], 0xFF);
    EXPECT_EQ(bytes[1024], 0xFF);
}

TEST(BitFile, ReadsPastTheEndDeliverWhatIsLeftInTheHighBits) {
    TempDir dir;
    writeFile(dir.path() / "f", std::vector<uint8_t>{0xA5, 0xE0});
    BitFile* file = BitFile::open(dir.file("f").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    int32_t value = -1;
    EXPECT_EQ(BitFile::getBits(&value, 13, file), 13);
    EXPECT_EQ(value, 0x14BC);  // 1010 0101 1110 0
    EXPECT_EQ(BitFile::getBits(&value, 8, file), 3);
    EXPECT_EQ(value, 0);  // the three zero bits stand in the top, the rest is 0
    EXPECT_EQ(BitFile::getBits(&value, 8, file), 0);
    value = 99;
    EXPECT_EQ(BitFile::getBits(&value, 33, file), 0);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(BitFile::getBits(&value, -1, file), 0);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(BitFile::getBits(&value, 0, file), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(BitFile::close(file), 0);

    writeFile(dir.path() / "g", std::vector<uint8_t>{0xFF});
    file = BitFile::open(dir.file("g").c_str(), "rb");
    BitFile::getBits(&value, 5, file);
    EXPECT_EQ(BitFile::getBits(&value, 8, file), 3);
    EXPECT_EQ(value, 0xE0);
    BitFile::close(file);
}

TEST(BitFile, GetCharsStopsAtTheEndAndTerminates) {
    TempDir dir;
    writeFile(dir.path() / "f", "hello");
    BitFile* file = BitFile::open(dir.file("f").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char buffer[13];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(BitFile::getChars(buffer, 12, file), 5);
    EXPECT_STREQ(buffer, "hello");
    BitFile::close(file);

    // Bytes of any value come back unchanged, including Shift-JIS and zero bytes.
    const char text[] = "\x93\xfa\x96\x7b\x00\xff";
    file = BitFile::open(dir.file("g").c_str(), "wb");
    BitFile::putBits(1, 3, file);  // unaligned on purpose
    BitFile::putChars(text, 6, file);
    BitFile::close(file);
    file = BitFile::open(dir.file("g").c_str(), "rb");
    int32_t skip;
    BitFile::getBits(&skip, 3, file);
    EXPECT_EQ(BitFile::getChars(buffer, 6, file), 6);
    EXPECT_EQ(std::memcmp(buffer, text, 6), 0);
    // 5 bits are left: not a whole character.
    EXPECT_EQ(BitFile::getChars(buffer, 1, file), 0);
    EXPECT_EQ(buffer[0], '\0');
    BitFile::close(file);
}

TEST(BitFile, RandomFieldSequencesReadBackAsWritten) {
    TempDir dir;
    std::mt19937 rng(1234);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::pair<int32_t, int>> fields;
        int64_t totalBits = 0;
        while (totalBits < 5 * BitFile::kBlockBits + 777 * round) {
            int n = int(rng() % 33);
            uint32_t raw = rng();
            int32_t value = n == 32 ? int32_t(raw) : int32_t(n == 0 ? 0 : raw >> (32 - n));
            fields.emplace_back(value, n);
            totalBits += n;
        }
        const std::string path = dir.file("r" + std::to_string(round));
        auto bytes = writeFields(path, fields);
        ASSERT_EQ(int64_t(bytes.size()), (totalBits + 7) / 8);

        BitFile* file = BitFile::open(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        for (size_t i = 0; i < fields.size(); ++i) {
            int32_t value = -1;
            ASSERT_EQ(BitFile::getBits(&value, fields[i].second, file), fields[i].second);
            ASSERT_EQ(value, fields[i].first) << "field " << i;
        }
        EXPECT_EQ(BitFile::tell(file), totalBits);
        int32_t value = 0;
        EXPECT_EQ(BitFile::getBits(&value, 32, file), int((8 - totalBits % 8) % 8));
        EXPECT_EQ(value, 0);
        BitFile::close(file);
    }
}

TEST(BitFile, RelativeSeeksCrossBlocksInBothDirections) {
    TempDir dir;
    const auto bytes = patternBytes(3 * BitFile::kBlockBytes + 300);
    writeFile(dir.path() / "f", bytes);
    BitFile* file = BitFile::open(dir.file("f").c_str(), "rb");
    ASSERT_NE(file, nullptr);

    std::mt19937 rng(99);
    int64_t pos = 0;
    const int64_t fileBits = int64_t(bytes.size()) * 8;
    for (int step = 0; step < 400; ++step) {
        int64_t target = int64_t(rng() % uint32_t(fileBits + 2000));
        int origin = int(rng() % 3);
        int64_t offset = origin == BitFile::kFromStart     ? target
                         : origin == BitFile::kFromCurrent ? target - pos
                                                           : target - fileBits;
        ASSERT_EQ(BitFile::seek(file, offset, origin), 0) << "step " << step;
        ASSERT_EQ(BitFile::tell(file), target);
        const int n = int(rng() % 33);
        int32_t value = 0;
        const int got = BitFile::getBits(&value, n, file);
        auto [expectValue, expectCount] = expectedRead(bytes, target, n);
        ASSERT_EQ(got, expectCount) << "step " << step << " at " << target;
        ASSERT_EQ(value, expectValue) << "step " << step << " at " << target;
        pos = target + got;  // past the end the position stays where the data ran out
    }
    BitFile::close(file);
}

TEST(BitFile, SeekEdgeCasesAndRefusals) {
    TempDir dir;
    const auto bytes = patternBytes(BitFile::kBlockBytes + 10);
    writeFile(dir.path() / "f", bytes);
    BitFile* file = BitFile::open(dir.file("f").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    int32_t value;
    BitFile::getBits(&value, 20, file);

    // By 0 inside a loaded block: nothing changes.
    const int32_t bitPos = file->bitPos, validBits = file->validBits, loaded = file->loaded;
    EXPECT_EQ(BitFile::seek(file, 0, BitFile::kFromCurrent), 0);
    EXPECT_EQ(file->bitPos, bitPos);
    EXPECT_EQ(file->validBits, validBits);
    EXPECT_EQ(file->loaded, loaded);

    EXPECT_EQ(BitFile::seek(file, -1, BitFile::kFromStart), 1);
    EXPECT_EQ(BitFile::seek(file, 0, 3), 2);
    EXPECT_EQ(BitFile::seek(file, -1, BitFile::kFromEnd - 3), 2);
    EXPECT_EQ(BitFile::seek(file, -int64_t(bytes.size()) * 8 - 1, BitFile::kFromEnd), 1);
    // Before the start of the file: the stream refuses and the handle stays put.
    EXPECT_NE(BitFile::seek(file, -100000, BitFile::kFromCurrent), 0);
    EXPECT_EQ(BitFile::tell(file), 20);
    BitFile::getBits(&value, 12, file);
    EXPECT_EQ(value, expectedRead(bytes, 20, 12).first);

    // Into the partial last block, then beyond its valid bits: the stream moves, 0.
    EXPECT_EQ(BitFile::seek(file, BitFile::kBlockBits + 8, BitFile::kFromStart), 0);
    BitFile::getBits(&value, 8, file);
    EXPECT_EQ(value, bytes[BitFile::kBlockBytes + 1]);
    EXPECT_EQ(file->validBits, 80);
    EXPECT_EQ(BitFile::seek(file, 200, BitFile::kFromCurrent), 0);
    EXPECT_EQ(BitFile::tell(file), BitFile::kBlockBits + 216);
    EXPECT_EQ(BitFile::getBits(&value, 8, file), 0);
    EXPECT_EQ(BitFile::seek(file, -216, BitFile::kFromCurrent), 0);
    BitFile::getBits(&value, 8, file);
    EXPECT_EQ(value, bytes[BitFile::kBlockBytes]);

    // From the end.
    EXPECT_EQ(BitFile::seek(file, -16, BitFile::kFromEnd), 0);
    EXPECT_EQ(BitFile::getBits(&value, 32, file), 16);
    EXPECT_EQ(uint32_t(value) >> 16, tembrel::bytes::readBE16(std::span(bytes).last(2)));
    BitFile::close(file);

    BitFile* out = BitFile::open(dir.file("w").c_str(), "wb");
    EXPECT_EQ(BitFile::seek(out, 0, BitFile::kFromStart), 2);
    BitFile::close(out);
}

TEST(BitFile, FailedOpensGiveTheirSlotBack) {
    TempDir dir;
    for (int i = 0; i < 2 * BitFile::kMaxOpenFiles; ++i)
        ASSERT_EQ(BitFile::open(dir.file("missing").c_str(), "rb"), nullptr);
    UniqueBitFile file(BitFile::open(dir.file("w").c_str(), "wb"));
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(BitFile::close(nullptr), 1);
}

TEST(BitFileDeathTest, TheFiftyFirstOpenEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string path = dir.file("f");
    writeFile(path, "x");
    EXPECT_EXIT(
        {
            for (int i = 0; i < BitFile::kMaxOpenFiles; ++i) {
                if (BitFile::open(path.c_str(), "rb") == nullptr)
                    std::exit(3);
            }
            BitFile::open(path.c_str(), "rb");
            std::exit(0);
        },
        testing::ExitedWithCode(1), "tealloc\\(\\): File number exceeds upper limit\\.");
    // Fifty at once are fine.
    std::vector<UniqueBitFile> files;
    for (int i = 0; i < BitFile::kMaxOpenFiles; ++i) {
        files.emplace_back(BitFile::open(path.c_str(), "rb"));
        ASSERT_NE(files.back(), nullptr);
    }
}

TEST(BitFile, WriteFailuresAreReported) {
    BitFile* file = BitFile::open("/dev/full", "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 6 * BitFile::kBlockBytes; ++i)
        BitFile::putBits(0x5A, 8, file);
    EXPECT_TRUE(file->writeFailed());
    EXPECT_EQ(BitFile::close(file), 1);

    // A short write that only fails when the stream is flushed at close.
    file = BitFile::open("/dev/full", "wb");
    ASSERT_NE(file, nullptr);
    BitFile::putBits(1, 3, file);
    EXPECT_FALSE(file->writeFailed());
    EXPECT_EQ(BitFile::close(file), 1);
}

}  // namespace
}  // namespace tembrel
