#include "vqfheader/header_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "chunk_bytes.h"

namespace tembrel {
namespace {

using test::Bytes;
using test::operator+;
using test::sub;
using test::text;

const Bytes kComm{0, 0, 0, 1, 0, 0, 0, 0x60, 0, 0, 0, 0x2C, 0, 0, 0, 0};

// Parses `body` and reads it into a record prefilled with garbage.
int read(const Bytes& body, HeaderInfo& info, std::string id = "TWIN97012000") {
    CChunkChunk top(std::move(id), body);
    auto manager = CreateHeaderManager(top);
    EXPECT_NE(manager, nullptr);
    std::memset(&info, 0x55, sizeof info);
    return manager ? ReadHeaderInfo(*manager, info) : -1;
}

bool onlyCommFieldsSet(const HeaderInfo& info) {
    HeaderInfo zero{};
    std::memcpy(zero.id, info.id, sizeof zero.id);
    zero.channelMode = info.channelMode;
    zero.bitRate = info.bitRate;
    zero.samplingRate = info.samplingRate;
    zero.securityLevel = info.securityLevel;
    return std::memcmp(&zero, &info, sizeof info) == 0;
}

TEST(HeaderReader, ReadsTheCommValuesAndLeavesTheRestZero) {
    HeaderInfo info;
    ASSERT_EQ(read(sub("COMM", kComm) + sub("NAME", text("abc")) + sub("AUTH", text("x")), info),
              0);
    EXPECT_STREQ(info.id, "TWIN97012000");
    EXPECT_EQ(info.channelMode, 1);
    EXPECT_EQ(info.bitRate, 96);
    EXPECT_EQ(info.samplingRate, 44);
    EXPECT_EQ(info.securityLevel, 0);
    EXPECT_TRUE(onlyCommFieldsSet(info));
}

TEST(HeaderReader, UsesTheFirstSixteenBytesOfTheFirstComm) {
    HeaderInfo info;
    ASSERT_EQ(read(sub("COMM", kComm + Bytes{1, 2, 3, 4}) + sub("COMM", Bytes(16, 0x7F)), info), 0);
    EXPECT_EQ(info.bitRate, 96);
    EXPECT_EQ(info.securityLevel, 0);
}

TEST(HeaderReader, MissingOrShortCommGivesOneAndZeros) {
    HeaderInfo info;
    EXPECT_EQ(read(sub("NAME", text("abc")), info), 1);
    EXPECT_STREQ(info.id, "TWIN97012000");
    EXPECT_TRUE(onlyCommFieldsSet(info));
    EXPECT_EQ(info.channelMode, 0);

    EXPECT_EQ(read(sub("COMM", Bytes(kComm.begin(), kComm.begin() + 10)), info), 1);
    EXPECT_EQ(info.channelMode, 0);
    EXPECT_EQ(info.bitRate, 0);
    EXPECT_TRUE(onlyCommFieldsSet(info));
}

TEST(HeaderReader, LongIdsAreCutToTheField) {
    HeaderInfo info;
    read(sub("COMM", kComm), info, std::string(40, 'V'));
    EXPECT_EQ(std::string(info.id), std::string(kTvqIdSize - 1, 'V'));
}

}  // namespace
}  // namespace tembrel
