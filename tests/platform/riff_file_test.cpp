#include "platform/riff_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <string>

#include "test_support.h"
#include "tests/platform/riff_builder.h"

namespace tembrel {
namespace {

using test::Bytes;
using test::chunk;
using test::counting;
using test::form;
using test::TempDir;

constexpr FOURCC fourcc(const char (&id)[5]) {
    return mmioFOURCC(id[0], id[1], id[2], id[3]);
}

MmioHandle openBytes(const TempDir& dir, const Bytes& content) {
    const auto path = dir.file("riff.bin");
    test::writeFile(path, content);
    return MmioHandle(mmioOpenA(path.c_str(), nullptr, MMIO_ALLOCBUF | MMIO_READ));
}

std::string readText(HMMIO file, int32_t count) {
    std::string out(std::size_t(count), '\0');
    const int32_t got = mmioRead(file, out.data(), count);
    out.resize(got < 0 ? 0 : std::size_t(got));
    return out;
}

int32_t position(HMMIO file) {
    return mmioSeek(file, 0, SEEK_CUR);
}

// RIFF "TEST": an odd chunk (3 bytes + pad), LIST "INFO" with two sub-chunks (the first
// odd), then "data".
Bytes sample() {
    return form("RIFF", "TEST",
                {chunk("odd ", test::bytesOf("abc")),
                 form("LIST", "INFO",
                      {chunk("INAM", test::bytesOf("Title")), chunk("IART", test::bytesOf("Me"))}),
                 chunk("data", counting(10))});
}

TEST(RiffReader, DescendReadsHeaderAndFormType) {
    TempDir dir;
    const Bytes content = sample();
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.fccType, fourcc("TEST"));
    EXPECT_EQ(riff.cksize, content.size() - 8);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(riff.dwFlags, 0u);
    // The file stands after the form type, at the first sub-chunk.
    EXPECT_EQ(position(file.get()), 12);
    EXPECT_EQ(readText(file.get(), 4), "odd ");
}

TEST(RiffReader, FindChunkSkipsPaddedChunksAndAscends) {
    TempDir dir;
    auto file = openBytes(dir, sample());
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);

    MMCKINFO data{};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(data.cksize, 10u);
    // 12 (RIFF header and type) + 12 (odd chunk and pad) + 36 (LIST) + 8 (data header)
    EXPECT_EQ(data.dwDataOffset, 68u);
    Bytes got(10);
    EXPECT_EQ(mmioRead(file.get(), got.data(), 10), 10);
    EXPECT_EQ(got, counting(10));

    // From the start again: the odd chunk, then ascend over its pad byte.
    ASSERT_EQ(mmioSeek(file.get(), 12, SEEK_SET), 12);
    MMCKINFO odd{};
    odd.ckid = fourcc("odd ");
    ASSERT_EQ(mmioDescend(file.get(), &odd, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(odd.cksize, 3u);
    EXPECT_EQ(readText(file.get(), 1), "a");
    ASSERT_EQ(mmioAscend(file.get(), &odd, 0), 0u);
    EXPECT_EQ(position(file.get()), 24);
    EXPECT_EQ(readText(file.get(), 4), "LIST");
}

TEST(RiffReader, NestedListIsSearchedWithinItsBounds) {
    TempDir dir;
    auto file = openBytes(dir, sample());
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);

    MMCKINFO list{};
    list.fccType = fourcc("INFO");
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, MMIO_FINDLIST), 0u);
    EXPECT_EQ(list.ckid, FOURCC_LIST);
    EXPECT_EQ(list.cksize, 28u);  // type, "INAM" with pad, "IART"

    MMCKINFO artist{};
    artist.ckid = fourcc("IART");
    ASSERT_EQ(mmioDescend(file.get(), &artist, &list, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(readText(file.get(), int32_t(artist.cksize)), "Me");
    ASSERT_EQ(mmioAscend(file.get(), &artist, 0), 0u);

    // "data" follows the LIST in the file but is not inside it: the search ends with
    // the parent and leaves the file where the search began.
    const int32_t before = position(file.get());
    MMCKINFO data{};
    data.ckid = fourcc("data");
    EXPECT_NE(mmioDescend(file.get(), &data, &list, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(position(file.get()), before);

    ASSERT_EQ(mmioAscend(file.get(), &list, 0), 0u);
    EXPECT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
}

TEST(RiffReader, ChunksBeyondTheParentAreNotFound) {
    TempDir dir;
    // The RIFF chunk declares only its form type; a "data" chunk follows in the file.
    Bytes content = form("RIFF", "WAVE", {});
    const Bytes after = chunk("data", counting(4));
    content.insert(content.end(), after.begin(), after.end());
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    MMCKINFO data{};
    data.ckid = fourcc("data");
    EXPECT_NE(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    // Without a parent the same search runs to the end of the file.
    EXPECT_EQ(mmioDescend(file.get(), &data, nullptr, MMIO_FINDCHUNK), 0u);
}

// A file whose declared sizes were left unfixed by a stream writer, or that was cut
// short: sizes beyond the bytes present are clamped to them and flagged.
TEST(RiffReader, SizesRunningPastTheFileEndAreClampedToIt) {
    TempDir dir;
    struct Case {
        const char* what;
        uint32_t riffSize;
        uint32_t dataSize;
        uint32_t riffFlags;  // expected dwFlags of the RIFF chunk
    };
    const Case cases[] = {
        {"RIFF larger than the file", 1000, 10, MMIO_CLAMPED},
        {"RIFF size 0 (never filled in)", 0, 10, MMIO_CLAMPED},
        {"both sizes 0xFFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF, MMIO_CLAMPED},
        {"RIFF size 0, data size 0xFFFFFFFF", 0, 0xFFFFFFFF, MMIO_CLAMPED},
        {"data size just past the end", 30, 11, 0},
        {"data size near 2 GiB", 0x7FFFF048, 0x7FFFF000, MMIO_CLAMPED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // 12 + 8 ("junk" with 0 bytes) + 8 + 10 data bytes.
        Bytes content = form("RIFF", "WAVE", {chunk("junk", {}), chunk("data", counting(10))});
        bytes::storeLE(std::span(content).subspan(4), c.riffSize, 4);
        bytes::storeLE(std::span(content).subspan(24), c.dataSize, 4);
        auto file = openBytes(dir, content);
        ASSERT_TRUE(file);
        MMCKINFO riff{};
        ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
        EXPECT_EQ(riff.cksize, 30u);
        EXPECT_EQ(riff.fccType, fourcc("WAVE"));
        EXPECT_EQ(riff.dwFlags, c.riffFlags);

        MMCKINFO data{};
        data.ckid = fourcc("data");
        ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
        EXPECT_EQ(data.dwDataOffset, 28u);
        EXPECT_EQ(data.cksize, 10u);
        EXPECT_EQ(data.dwFlags, c.dataSize == 10 ? 0u : MMIO_CLAMPED);
        Bytes got(16);
        EXPECT_EQ(mmioRead(file.get(), got.data(), 16), 10);
        got.resize(10);
        EXPECT_EQ(got, counting(10));
        // The clamped chunk ends at the file end (even), where ascending leads.
        ASSERT_EQ(mmioAscend(file.get(), &data, 0), 0u);
        EXPECT_EQ(position(file.get()), 38);
    }
}

TEST(RiffReader, ChunksRunningPastTheirParentAreClampedToIt) {
    TempDir dir;
    // "INAM" declares 100 bytes inside a LIST that holds 6 of them; "data" follows the
    // LIST in the file.
    const Bytes content =
        form("RIFF", "WAVE",
             {form("LIST", "INFO", {chunk("INAM", test::bytesOf("Title!"), true, 100)}),
              chunk("data", counting(4))});
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    EXPECT_EQ(riff.dwFlags, 0u);
    MMCKINFO list{};
    list.fccType = fourcc("INFO");
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, MMIO_FINDLIST), 0u);
    EXPECT_EQ(list.dwFlags, 0u);
    MMCKINFO name{};
    name.ckid = fourcc("INAM");
    ASSERT_EQ(mmioDescend(file.get(), &name, &list, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(name.cksize, 6u);
    EXPECT_EQ(name.dwFlags, MMIO_CLAMPED);
    EXPECT_EQ(readText(file.get(), int32_t(name.cksize)), "Title!");
    ASSERT_EQ(mmioAscend(file.get(), &name, 0), 0u);
    ASSERT_EQ(mmioAscend(file.get(), &list, 0), 0u);
    MMCKINFO data{};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(data.cksize, 4u);
}

TEST(RiffReader, SearchesStopAtAClampedChunk) {
    TempDir dir;
    // The "junk" chunk claims far more than the file holds, so the "data" bytes behind it
    // count as its contents: the search ends there and leaves the file where it began.
    const Bytes content = form(
        "RIFF", "WAVE", {chunk("junk", counting(4), true, 0x7FFFFFF0), chunk("data", counting(4))});
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    MMCKINFO data{};
    data.ckid = fourcc("data");
    EXPECT_NE(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(position(file.get()), 12);
    MMCKINFO junk{};
    junk.ckid = fourcc("junk");
    ASSERT_EQ(mmioDescend(file.get(), &junk, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(junk.cksize, 16u);
    EXPECT_EQ(junk.dwFlags, MMIO_CLAMPED);
}

// Cut at every length, the reader finds what lies wholly or partly in the file and never
// describes a byte beyond it.
TEST(RiffReader, FilesCutAtAnyLengthStayInsideTheFile) {
    TempDir dir;
    const Bytes whole = sample();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        auto file = openBytes(dir, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
        ASSERT_TRUE(file);
        MMCKINFO riff{};
        if (mmioDescend(file.get(), &riff, nullptr, 0) != 0) {
            EXPECT_LT(n, 12u);  // only a missing header or form type is refused
            continue;
        }
        EXPECT_EQ(riff.dwDataOffset + riff.cksize, n);
        EXPECT_EQ(riff.dwFlags, n < whole.size() ? MMIO_CLAMPED : 0u);
        MMCKINFO data{};
        data.ckid = fourcc("data");
        if (mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK) == 0) {
            EXPECT_GE(n, 68u);  // the whole "data" header is there
            EXPECT_EQ(data.cksize, std::min<std::size_t>(n - 68, 10));
            Bytes got(20);
            EXPECT_EQ(mmioRead(file.get(), got.data(), 20), int32_t(data.cksize));
        } else {
            EXPECT_LT(n, 68u);
        }
    }
}

TEST(RiffReader, ListTooSmallForItsTypeIsSkippedBySearches) {
    TempDir dir;
    const Bytes content =
        form("RIFF", "WAVE", {chunk("LIST", test::bytesOf("IN")), chunk("data", counting(4))});
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    MMCKINFO data{};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(data.cksize, 4u);
    // Read directly, it is refused.
    ASSERT_EQ(mmioSeek(file.get(), 12, SEEK_SET), 12);
    MMCKINFO list{};
    EXPECT_NE(mmioDescend(file.get(), &list, &riff, 0), 0u);
    EXPECT_EQ(position(file.get()), 12);
    list.ckid = FOURCC_LIST;
    EXPECT_NE(mmioDescend(file.get(), &list, &riff, MMIO_FINDCHUNK), 0u);
}

TEST(RiffReader, CutShortHeadersAreFailures) {
    TempDir dir;
    for (const Bytes& content :
         {Bytes{}, test::bytesOf("RIFF"), test::bytesOf("RIFF\x04\x00\x00"),
          // RIFF whose form type the file lacks, or that declares no room for one
          Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}, Bytes{'R', 'I', 'F', 'F', 2, 0, 0, 0, 'W', 'A'},
          Bytes{'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V'},
          Bytes{'R', 'I', 'F', 'F', 3, 0, 0, 0, 'W', 'A', 'V', 'E', 0}}) {
        auto file = openBytes(dir, content);
        ASSERT_TRUE(file);
        MMCKINFO ck{};
        EXPECT_NE(mmioDescend(file.get(), &ck, nullptr, 0), 0u) << content.size();
        EXPECT_EQ(position(file.get()), 0);
    }
}

TEST(RiffReader, AscendToleratesOnlyTheMissingFinalPadByte) {
    TempDir dir;
    // A last odd chunk whose pad byte is missing from the file.
    const Bytes content = form("RIFF", "WAVE", {chunk("data", counting(3), false)});
    auto file = openBytes(dir, content);
    ASSERT_TRUE(file);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), 0u);
    MMCKINFO data{};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(mmioAscend(file.get(), &data, 0), 0u);
    EXPECT_EQ(readText(file.get(), 4), "");

    MMCKINFO made = data;
    made.cksize = 100;
    EXPECT_NE(mmioAscend(file.get(), &made, 0), 0u);
}

TEST(RiffReader, ReadAndSeekResults) {
    TempDir dir;
    auto file = openBytes(dir, test::bytesOf("0123456789"));
    ASSERT_TRUE(file);
    EXPECT_EQ(readText(file.get(), 4), "0123");
    EXPECT_EQ(mmioSeek(file.get(), 2, SEEK_CUR), 6);
    EXPECT_EQ(readText(file.get(), 10), "6789");  // short count at the end
    EXPECT_EQ(readText(file.get(), 10), "");      // then 0
    EXPECT_EQ(mmioSeek(file.get(), 1, SEEK_SET), 1);
    EXPECT_EQ(readText(file.get(), 1), "1");
    EXPECT_EQ(mmioSeek(file.get(), -3, SEEK_END), 7);
    EXPECT_EQ(mmioSeek(file.get(), -8, SEEK_CUR), -1);
    EXPECT_EQ(position(file.get()), 7);  // a failed seek does not move
    EXPECT_EQ(mmioSeek(file.get(), 100, SEEK_SET), 100);
    EXPECT_EQ(readText(file.get(), 4), "");
    EXPECT_EQ(mmioSeek(file.get(), 0, 99), -1);

    char byte = 0;
    EXPECT_EQ(mmioRead(file.get(), &byte, -1), -1);
    EXPECT_EQ(mmioRead(file.get(), &byte, 0), 0);
    EXPECT_EQ(mmioRead(nullptr, &byte, 1), -1);
    EXPECT_EQ(mmioSeek(nullptr, 0, SEEK_SET), -1);
    MMCKINFO ck{};
    EXPECT_NE(mmioDescend(nullptr, &ck, nullptr, 0), 0u);
    EXPECT_NE(mmioAscend(nullptr, &ck, 0), 0u);
    EXPECT_EQ(mmioClose(nullptr, 0), 0u);
}

TEST(RiffReader, OpensOnlyRegularFilesForReading) {
    TempDir dir;
    test::writeFile(dir.path() / "f", "x");
    EXPECT_FALSE(MmioHandle(mmioOpenA(dir.file("missing").c_str(), nullptr, MMIO_READ)));
    EXPECT_FALSE(MmioHandle(mmioOpenA(dir.path().c_str(), nullptr, MMIO_READ)));
    EXPECT_FALSE(MmioHandle(mmioOpenA(dir.file("f").c_str(), nullptr, MMIO_WRITE)));
    EXPECT_FALSE(MmioHandle(mmioOpenA(nullptr, nullptr, MMIO_READ)));
    // A named pipe without a writer must neither hang nor open.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(MmioHandle(mmioOpenA(dir.file("pipe").c_str(), nullptr, MMIO_READ)));
    EXPECT_TRUE(MmioHandle(mmioOpenA(dir.file("f").c_str(), nullptr, MMIO_ALLOCBUF | MMIO_READ)));
}

}  // namespace
}  // namespace tembrel
