#include "vqfheader/header_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "chunk_bytes.h"
#include "test_support.h"
#include "vqfheader/chunk_import.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"

namespace tembrel {
namespace {

using test::abcInfo;
using test::Bytes;
using test::operator+;
using test::sub;
using test::TempDir;
using test::text;
using test::writeFile;
namespace fs = std::filesystem;

const Bytes kAbcComm = sub("COMM", Bytes{0, 0, 0, 1, 0, 0, 0, 0x60, 0, 0, 0, 0x2C, 0, 0, 0, 0});
const Bytes kAbcBody = kAbcComm + sub("NAME", text("abc"));

// Builds a header and checks that it parses back to the same chunks and COMM values.
Bytes build(const HeaderInfo& info, const std::string& folder) {
    auto top = BuildHeader(info, folder);
    EXPECT_NE(top, nullptr);
    if (!top)
        return {};
    EXPECT_EQ(top->id(), kTvqVersionId);
    auto manager = CreateHeaderManager(*top);
    EXPECT_NE(manager, nullptr);
    if (manager) {
        HeaderInfo back{};
        EXPECT_EQ(ReadHeaderInfo(*manager, back), 0);
        EXPECT_STREQ(back.id, kTvqVersionId);
        EXPECT_EQ(back.channelMode, info.channelMode);
        EXPECT_EQ(back.bitRate, info.bitRate);
        EXPECT_EQ(back.samplingRate, info.samplingRate);
        EXPECT_EQ(back.securityLevel, info.securityLevel);
    }
    return top->data();
}

TEST(HeaderWriter, AbcHeaderWithoutImportFolder) {
    TempDir dir;
    const Bytes body = build(abcInfo(), dir.file("header_info"));
    EXPECT_EQ(body, kAbcBody);
    EXPECT_EQ(body.size(), 35u);
}

TEST(HeaderWriter, TextChunksInOrderThenDataSize) {
    HeaderInfo info = abcInfo();
    std::strcpy(info.comment, "c");
    std::strcpy(info.author, "\x8d\xec\x8e\xd2");  // Shift-JIS bytes stay as they are
    std::strcpy(info.copyright, "r");
    std::strcpy(info.file, "f");
    std::strcpy(info.track, "7");
    std::strcpy(info.year, "1999");
    std::strcpy(info.extra, "never written");
    info.dataSize = 1000;
    EXPECT_EQ(build(info, ""),
              kAbcBody + sub("COMT", text("c")) + sub("AUTH", text("\x8d\xec\x8e\xd2")) +
                  sub("(c) ", text("r")) + sub("FILE", text("f")) + sub("TRAC", text("7")) +
                  sub("YEAR", text("1999")) + sub("DSIZ", Bytes{0, 0, 0x03, 0xE8}));
    info.dataSize = -5;
    std::memset(info.name, 'n', sizeof info.name);  // no terminator: 511 bytes are taken
    const Bytes body = build(info, "");
    EXPECT_EQ(Bytes(body.begin() + 24, body.begin() + 24 + 8 + 511), sub("NAME", Bytes(511, 'n')));
    EXPECT_EQ(Bytes(body.end() - 12, body.end()), sub("YEAR", text("1999")));
}

TEST(HeaderWriter, ImportsNumbersAsBinaryChunks) {
    struct Case {
        const char* file;
        const char* content;
        Bytes chunk;
    };
    const Case cases[] = {
        {"TRAC", "12", sub("TRAC", Bytes{0x00, 0x0C})},
        {"TRAC", "70000", sub("TRAC", Bytes{0x11, 0x70})},
        {"TRAC", "abc", sub("TRAC", Bytes{0x00, 0x00})},
        {"TRAC", "  -1\n", sub("TRAC", Bytes{0xFF, 0xFF})},
        {"TRAC", "", sub("TRAC", Bytes{0x00, 0x00})},
        {"YEAR", "1999 12", sub("YEAR", Bytes{0x07, 0xCF, 0x0C})},
        {"YEAR", "1999", sub("YEAR", Bytes{0x07, 0xCF, 0x00})},
        {"YEAR", "1999 x 12", sub("YEAR", Bytes{0x07, 0xCF, 0x00})},
        {"ENCD", "2000 1 2", sub("ENCD", Bytes{0x07, 0xD0, 0x01, 0x02, 0x00, 0x00, 0x00})},
        {"ENCD", "2000\n1\t2 3 4 300",
         sub("ENCD", Bytes{0x07, 0xD0, 0x01, 0x02, 0x03, 0x04, 0x2C})},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directory(dir.path() / "header_info");
        writeFile(dir.path() / "header_info" / c.file, std::string_view(c.content));
        EXPECT_EQ(build(abcInfo(), dir.file("header_info")), kAbcBody + c.chunk)
            << c.file << " " << c.content;
    }
}

TEST(HeaderWriter, ImportsRawFilesInTableOrderAndScndLast) {
    TempDir dir;
    const fs::path folder = dir.path() / "header_info";
    fs::create_directories(folder / "SCND");
    writeFile(folder / "BAND", "band");
    writeFile(folder / "GUID", Bytes{0, 1, 2, 0xFF});
    writeFile(folder / "TRAC", "3");
    writeFile(folder / "ALBM", "");
    writeFile(folder / "NAME", "not a top-level import");
    writeFile(folder / "trac", "wrong case");
    writeFile(folder / "SCND" / "(c) ", "holder");
    writeFile(folder / "SCND" / "NAME", "");
    writeFile(folder / "SCND" / "GUID", "not a SCND import");
    HeaderInfo info = abcInfo();
    std::strcpy(info.track, "3");
    EXPECT_EQ(build(info, folder.string()),
              kAbcBody + sub("TRAC", text("3")) + sub("TRAC", Bytes{0, 3}) +
                  sub("GUID", Bytes{0, 1, 2, 0xFF}) + sub("ALBM", {}) + sub("BAND", text("band")) +
                  sub("SCND", sub("NAME", {}) + sub("(c) ", text("holder"))));
}

TEST(HeaderWriter, EmptyScndFileGivesAnEightByteContainer) {
    TempDir dir;
    fs::create_directories(dir.path() / "header_info" / "SCND");
    writeFile(dir.path() / "header_info" / "SCND" / "NAME", "");
    const Bytes body = build(abcInfo(), dir.file("header_info"));
    const Bytes tail = text("SCND") + Bytes{0, 0, 0, 8} + text("NAME") + Bytes{0, 0, 0, 0};
    ASSERT_GE(body.size(), tail.size());
    EXPECT_EQ(Bytes(body.end() - long(tail.size()), body.end()), tail);
}

TEST(HeaderWriter, SkipsWhatCannotBeRead) {
    TempDir dir;
    const fs::path folder = dir.path() / "header_info";
    fs::create_directories(folder / "TRAC");  // a directory, not a file
    fs::create_directories(folder / "SCND" / "NAME");
    writeFile(folder / "GUID", "secret");
    fs::permissions(folder / "GUID", fs::perms::none);
    writeFile(folder / "OTHR", "unknown id");
    const bool canReadAnyway = geteuid() == 0;  // root ignores permissions
    const Bytes body = build(abcInfo(), folder.string());
    EXPECT_EQ(body, canReadAnyway ? kAbcBody + sub("GUID", text("secret")) : kAbcBody);

    // A pipe must not block the build.
    ASSERT_EQ(mkfifo((folder / "ISRC").c_str(), 0644), 0);
    EXPECT_EQ(build(abcInfo(), folder.string()).size(), body.size());
}

TEST(HeaderWriter, ImportChunkFilesRefusesUnknownPlaces) {
    CChunkChunk target("T");
    EXPECT_EQ(ImportChunkFiles(kTopLevelImports, target, 2, "header_info"), 1);
    EXPECT_EQ(ImportChunkFiles(kTopLevelImports, target, -1, "header_info"), 1);
    EXPECT_EQ(ImportChunkFiles(kScndImports, target, kImportScnd, "no such folder"), 0);
    EXPECT_TRUE(target.data().empty());
}

}  // namespace
}  // namespace tembrel
