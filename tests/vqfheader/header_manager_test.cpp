#include "vqfheader/header_manager.h"

#include <gtest/gtest.h>

#include "chunk_bytes.h"

namespace tembrel {
namespace {

using test::Bytes;
using test::operator+;
using test::sub;
using test::text;

std::unique_ptr<CHeaderManager> parse(const Bytes& body, std::string id = "TWIN97012000") {
    CChunkChunk top(std::move(id), body);
    return CreateHeaderManager(top);
}

TEST(HeaderManager, KeepsTheFirstChunkOfEachIdAndOrdersByBytes) {
    auto manager = parse(sub("COMM", Bytes(16, 1)) + sub("TRAC", text("7")) +
                         sub("COMM", Bytes(16, 2)) + sub("TRAC", Bytes{0, 12}) +
                         sub("(c) ", text("me")) + sub("\x81\x40XX", text("sjis")));
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->GetId(), "TWIN97012000");
    EXPECT_EQ(manager->GetChunk("COMM").data(), Bytes(16, 1));
    EXPECT_EQ(manager->GetChunk("TRAC").data(), text("7"));
    std::vector<std::string> ids;
    for (const auto& [id, chunk] : manager->chunks())
        ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<std::string>{"(c) ", "COMM", "TRAC", "\x81\x40XX"}));
    EXPECT_TRUE(manager->scndChunks().empty());
}

TEST(HeaderManager, ParsesTheScndContainer) {
    auto manager =
        parse(sub("COMM", Bytes(16, 0)) +
              sub("SCND", sub("NAME", {}) + sub("ALBM", text("x")) + sub("NAME", text("y"))));
    ASSERT_NE(manager, nullptr);
    ASSERT_EQ(manager->scndChunks().size(), 2u);
    EXPECT_TRUE(manager->scndChunks().at("NAME").data().empty());
    EXPECT_EQ(manager->scndChunks().at("ALBM").data(), text("x"));
    // Lookups search the top level only.
    EXPECT_THROW(manager->GetChunk("ALBM"), CHeaderManager::err_FailGetChunk);
}

TEST(HeaderManager, RefusesCutShortChunksAndAnEmptyId) {
    const Bytes comm = sub("COMM", Bytes(16, 0));
    // Cut short inside "SCND", although the top level parses.
    EXPECT_EQ(parse(comm + sub("SCND", text("NAME") + Bytes{0, 0, 0, 9} + text("ab"))), nullptr);
    // Last sub-chunk declares more than remains.
    EXPECT_EQ(parse(comm + text("NAME") + Bytes{0, 0, 0, 4} + text("abc")), nullptr);
    // Last sub-chunk's size field is incomplete.
    EXPECT_EQ(parse(comm + text("NAME") + Bytes{0, 0}), nullptr);
    EXPECT_EQ(parse(comm, ""), nullptr);
}

TEST(HeaderManager, EmptyBodiesAndStrayBytes) {
    auto empty = parse({});
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->chunks().empty());
    EXPECT_TRUE(empty->scndChunks().empty());
    EXPECT_THROW(empty->GetChunk("COMM"), CHeaderManager::err_FailGetChunk);

    for (size_t stray = 1; stray <= 3; ++stray) {
        auto manager = parse(sub("COMM", Bytes(16, 0)) + Bytes(stray, 'S'));
        ASSERT_NE(manager, nullptr);
        EXPECT_EQ(manager->chunks().size(), 1u);
    }
}

}  // namespace
}  // namespace tembrel
